#include "Data/VectorModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/SafeOutput.h"

#include <QFileDialog>
#include <QFileInfo>

#include <qgsproviderregistry.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

namespace
{
const QString ogrProvider = QStringLiteral( "ogr" );
}

void VectorModel::add()
{
  addChosenFiles( QStringLiteral( "Chọn vector" ), QgsProviderRegistry::instance()->fileVectorFilters(),
                  Utils::Keys::vectorDir, QStringLiteral( "Thêm vector layer thất bại" ) );
}

QgsMapLayer *VectorModel::createLayer( const QString &fileName, const QString & )
{
  return new QgsVectorLayer( fileName, QFileInfo( fileName ).completeBaseName(), ogrProvider );
}

QString VectorModel::providerKey() const
{
  return ogrProvider;
}

QStringList VectorModel::supportedExtensions()
{
  return upperCaseExtensions( QgsProviderRegistry::instance()->fileVectorFilters() );
}

QgsVectorFileWriter::WriterError VectorModel::writeLayer( QgsVectorLayer *layer, const QString &path,
                                                          QString *errorMessage )
{
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
  const QgsVectorFileWriter::WriterError result = QgsVectorFileWriter::writeAsVectorFormatV3(
      layer, output.temporaryPath(), transformContext, options, errorMessage );
  if ( result == QgsVectorFileWriter::NoError && !output.commit( errorMessage ) )
    return QgsVectorFileWriter::ErrCreateDataSource;
  return result;
}

void VectorModel::exportLayer( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsVectorLayer *>( mapLayer );
  if ( !layer )
    return;

  QStringList filters;
  for ( const QgsVectorFileWriter::FilterFormatDetails &format :
        QgsVectorFileWriter::supportedFiltersAndFormats( QgsVectorFileWriter::SortRecommended ) )
    filters << format.filterString;

  exportToChosenFile( QStringLiteral( "Xuất vector" ), filters, Utils::Keys::vectorSaveDir,
                      QStringLiteral( "Lưu vector layer" ),
                      [layer]( const QString &target, const QString & )
                      {
                        QString errorMessage;
                        const QgsVectorFileWriter::WriterError result = writeLayer( layer, target, &errorMessage );
                        if ( result != QgsVectorFileWriter::NoError )
                          qWarning() << "Vector export to" << target << "failed:" << errorMessage;
                        return static_cast<int>( result );
                      } );
}
