#include "Processing/GdalSettings.h"
#include "TestHarness.h"

#include <QStandardPaths>

int main( int argc, char *argv[] )
{
  return TestSupport::runTests( argc, argv, false,
                                []
                                {
                                  GdalSettings::keepSidecarsIn(
                                      QStandardPaths::writableLocation( QStandardPaths::AppLocalDataLocation ) +
                                      "/overviews" );
                                } );
}
