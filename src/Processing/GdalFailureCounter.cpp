#include "Processing/GdalFailureCounter.h"

#include <QtGlobal>

GdalFailureCounter::GdalFailureCounter()
{
  CPLPushErrorHandlerEx( &GdalFailureCounter::handle, this );
}

GdalFailureCounter::~GdalFailureCounter()
{
  CPLPopErrorHandler();
}

void CPL_STDCALL GdalFailureCounter::handle( CPLErr level, CPLErrorNum number, const char *message )
{
  auto *self = static_cast<GdalFailureCounter *>( CPLGetErrorHandlerUserData() );
  if ( level >= CE_Failure )
  {
    ++self->mFailures;
    self->mLastFailure = QString::fromUtf8( message );
  }
  if ( level >= CE_Warning )
    qWarning( "GDAL error %d: %s", number, message );
}
