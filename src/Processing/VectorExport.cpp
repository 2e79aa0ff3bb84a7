#include "Processing/VectorExport.h"

#include "Processing/SafeOutput.h"

#include <QFileInfo>

#include <qgsvectordataprovider.h>
#include <qgsvectorfilewriter.h>
#include <qgsvectorlayer.h>

ProcessingResult VectorExport::write( QgsVectorLayer *layer, const QString &path )
{
  if ( !layer )
    return ProcessingResult::failed( QStringLiteral( "no layer to write" ), ProcessingResult::Status::ReadFailed );
  QgsCoordinateTransformContext transformContext;
  QgsVectorFileWriter::SaveVectorOptions options;
  if ( const QgsVectorDataProvider *provider = layer->dataProvider() )
  {
    transformContext = provider->transformContext();
    options.fileEncoding = provider->encoding();
  }
  options.driverName = QgsVectorFileWriter::driverForExtension( QFileInfo( path ).suffix() );
  options.layerName = layer->name();
  SafeOutput output( path );
  QString errorMessage;
  const QgsVectorFileWriter::WriterError error = QgsVectorFileWriter::writeAsVectorFormatV3(
      layer, output.temporaryPath(), transformContext, options, &errorMessage );
  if ( error != QgsVectorFileWriter::NoError )
  {
    if ( errorMessage.isEmpty() )
      errorMessage = options.driverName.isEmpty() ? QStringLiteral( "no format writes %1" ).arg( path )
                                                  : QStringLiteral( "cannot write %1" ).arg( path );
    return ProcessingResult::failed( errorMessage, ProcessingResult::Status::WriteFailed );
  }
  return output.commit();
}
