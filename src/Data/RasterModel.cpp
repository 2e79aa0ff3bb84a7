#include "Data/RasterModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"

#include <QFileDialog>
#include <QFileInfo>

#include <qgsfileutils.h>
#include <qgsmessagebar.h>
#include <qgsproviderregistry.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>

namespace
{
void pushMessage( const QString &title, const QString &text, Qgis::MessageLevel level )
{
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( title, text, level, Utils::messageTimeout() );
}

QStringList upperCaseExtensions( const QString &filter )
{
  QStringList extensions;
  for ( const QString &extension : QgsFileUtils::extensionsFromFilter( filter ) )
  {
    const QString upper = extension.toUpper();
    if ( !extensions.contains( upper ) )
      extensions << upper;
  }
  return extensions;
}
} // namespace

void RasterModel::add()
{
  const QStringList fileNames = QFileDialog::getOpenFileNames( MainWindow::instance(), QStringLiteral( "Chọn raster" ),
                                                               Utils::rememberedFolder( Utils::Keys::rasterDir ),
                                                               QgsProviderRegistry::instance()->fileRasterFilters() );

  for ( const QString &fileName : fileNames )
  {
    QgsMapLayer *layer = createLayer( fileName, QString() );
    if ( !MainWindow::addLayer( layer ) )
    {
      delete layer;
      pushMessage( QStringLiteral( "Thêm raster layer thất bại" ),
                   QStringLiteral( "Không thể đọc file %1" ).arg( fileName ), Qgis::Critical );
    }
  }
  if ( !fileNames.isEmpty() )
    Utils::rememberFolderOf( Utils::Keys::rasterDir, fileNames.constFirst() );
}

QgsMapLayer *RasterModel::createLayer( const QString &fileName, const QString & )
{
  return new QgsRasterLayer( fileName, QFileInfo( fileName ).completeBaseName(), QStringLiteral( "gdal" ) );
}

QStringList RasterModel::supportedExtensions()
{
  return upperCaseExtensions( QgsProviderRegistry::instance()->fileRasterFilters() );
}

QString RasterModel::driverForTarget( const QString &path, const QString &selectedFilter )
{
  const QList<QgsRasterFileWriter::FilterFormatDetails> formats = QgsRasterFileWriter::supportedFiltersAndFormats();
  const QString suffix = QFileInfo( path ).suffix();
  if ( !suffix.isEmpty() )
  {
    const QString byExtension = QgsRasterFileWriter::driverForExtension( suffix );
    for ( const QgsRasterFileWriter::FilterFormatDetails &format : formats )
    {
      if ( format.driverName == byExtension )
        return byExtension;
    }
  }
  for ( const QgsRasterFileWriter::FilterFormatDetails &format : formats )
  {
    if ( format.filterString == selectedFilter )
      return format.driverName;
  }
  return QString();
}

QgsRasterFileWriter::WriterError RasterModel::writeLayer( QgsRasterLayer *layer, const QString &path,
                                                          const QString &driver )
{
  QgsRasterDataProvider *provider = layer->dataProvider();
  if ( !provider )
    return QgsRasterFileWriter::SourceProviderError;

  // The layer's own pipe ends in its renderer, which would write the styled
  // RGBA picture; a pipe of the bare provider writes the data itself, with its
  // type, bands and no-data.
  QgsRasterPipe pipe;
  if ( !pipe.set( provider->clone() ) )
    return QgsRasterFileWriter::SourceProviderError;

  QgsRasterFileWriter writer( path );
  if ( !driver.isEmpty() )
    writer.setOutputFormat( driver );
  return writer.writeRaster( &pipe, layer->width(), layer->height(), layer->extent(), layer->crs(),
                             provider->transformContext() );
}

void RasterModel::exportLayer( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayer );
  if ( !layer )
    return;

  QStringList filters;
  for ( const QgsRasterFileWriter::FilterFormatDetails &format :
        QgsRasterFileWriter::supportedFiltersAndFormats( QgsRasterFileWriter::SortRecommended ) )
    filters << format.filterString;

  QString selectedFilter;
  const QString target = QFileDialog::getSaveFileName( MainWindow::instance(), QStringLiteral( "Xuất raster" ),
                                                       Utils::rememberedFolder( Utils::Keys::rasterSaveDir ),
                                                       filters.join( QStringLiteral( ";;" ) ), &selectedFilter );
  if ( target.isEmpty() )
    return;

  const QgsRasterFileWriter::WriterError result =
      writeLayer( layer, target, driverForTarget( target, selectedFilter ) );
  if ( result == QgsRasterFileWriter::NoError )
  {
    pushMessage( QStringLiteral( "Lưu raster layer" ), QStringLiteral( "Đã lưu thành công: %1. " ).arg( target ),
                 Qgis::Info );
    Utils::rememberFolderOf( Utils::Keys::rasterSaveDir, target );
  }
  else
  {
    pushMessage( QStringLiteral( "Lưu raster layer" ),
                 QStringLiteral( "Lưu %1 thất bại, mã lỗi %2" ).arg( target ).arg( static_cast<int>( result ) ),
                 Qgis::Critical );
  }
}
