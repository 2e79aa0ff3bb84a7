#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Data/MetadataViewerDialog.h"
#include "Data/VectorModel.h"
#include "Gui/MainWindow.h"
#include "TestSupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QTextBrowser>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <qgslayertreeview.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsvectorfilewriter.h>
#include <qgsvectorlayer.h>

#include <memory>

using TestSupport::notices;

namespace
{
using TestSupport::absolute;

QString vectorFilterFor( const QString &driver )
{
  for ( const QgsVectorFileWriter::FilterFormatDetails &format : QgsVectorFileWriter::supportedFiltersAndFormats() )
    if ( format.driverName == driver )
      return format.filterString;
  return QString();
}

QStringList layerNames()
{
  QStringList names;
  for ( QgsMapLayer *layer : QgsProject::instance()->mapLayers() )
    names << layer->name();
  names.sort();
  return names;
}
} // namespace

//! Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open( const QUrl &url ) { opened << url; }
};

class TestVectorData : public TestSupport::WindowTest
{
    Q_OBJECT

  private slots:
    void vectorFilesOpenEveryLayer_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QStringList>( "layers" );
      QTest::addColumn<QStringList>( "expected" );
      QTest::newRow( "GeoPackage, two layers" )
          << "two.gpkg"
          << "GPKG" << QStringList{ "roads", "parcels" } << QStringList{ "two — parcels", "two — roads" };
      QTest::newRow( "Shapefile" ) << "plots.shp"
                                   << "ESRI Shapefile" << QStringList{ "plots" } << QStringList{ "plots" };
      QTest::newRow( "GeoJSON" ) << "zones.geojson"
                                 << "GeoJSON" << QStringList{ "zones" } << QStringList{ "zones" };
    }
    void vectorFilesOpenEveryLayer()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, driver );
      QFETCH( QStringList, layers );
      QFETCH( QStringList, expected );
      const QString path = absolute( TestSupport::writeVector( fileName, driver, layers ) );
      MainWindow::controller()->openFileName( path );
      QCOMPARE( layerNames(), expected );
      QCOMPARE( notices().size(), 0 );
      for ( QgsMapLayer *layer : QgsProject::instance()->mapLayers() )
      {
        auto *vector = qobject_cast<QgsVectorLayer *>( layer );
        QVERIFY( vector && vector->isValid() );
        QCOMPARE( vector->featureCount(), 3LL );
        QCOMPARE( vector->crs().authid(), QStringLiteral( "EPSG:32748" ) );
      }
    }

    void exportFollowsTheExtension_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "filterDriver" );
      QTest::addColumn<QString>( "writtenDriver" );
      QTest::addColumn<QString>( "writtenLayer" );
      // clang-format off
      QTest::newRow( "shp under the GeoPackage filter" ) << "out.shp" << "GPKG" << "ESRI Shapefile" << "out";
      QTest::newRow( "gpkg keeps the layer name" ) << "out.gpkg" << "ESRI Shapefile" << "GPKG" << "parcels";
      QTest::newRow( "geojson keeps the layer name" ) << "out.geojson" << "GPKG" << "GeoJSON" << "parcels";
      // clang-format on
    }
    void exportFollowsTheExtension()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, filterDriver );
      QFETCH( QString, writtenDriver );
      QFETCH( QString, writtenLayer );
      QDir().mkpath( "export" );
      MainWindow::controller()->openFileName(
          absolute( TestSupport::writeVector( "source.gpkg", "GPKG", { "parcels" } ) ) );
      QgsMapLayer *source = MainWindow::layerTreeView()->currentLayer();
      QVERIFY( source );
      source->setName( "parcels" );

      const QString target = absolute( "export/" + fileName );
      TestSupport::answerFileDialog( { target }, vectorFilterFor( filterDriver ) );
      MainWindow::controller()->exportData();

      std::unique_ptr<GDALDataset> written( GDALDataset::Open( target.toUtf8().constData(), GDAL_OF_VECTOR ) );
      QVERIFY2( written, qPrintable( target ) );
      QCOMPARE( QString( written->GetDriver()->GetDescription() ), writtenDriver );
      QCOMPARE( written->GetLayerCount(), 1 );
      OGRLayer *layer = written->GetLayer( 0 );
      QCOMPARE( QString( layer->GetName() ), writtenLayer );
      QCOMPARE( layer->GetFeatureCount(), 3LL );
      std::unique_ptr<OGRFeature> first( layer->GetNextFeature() );
      QCOMPARE( QString::fromUtf8( first->GetFieldAsString( "ten" ) ), QStringLiteral( "Thửa 0" ) );
      QCOMPARE( first->GetFieldAsDouble( "dien_tich" ), 12.5 );
      QCOMPARE( notices().size(), 1 );
      QCOMPARE( notices()[0].text, "Đã lưu thành công: " + target + ". " );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::vectorSaveDir ), absolute( "export" ) );
    }

    void exportWithoutExtensionFailsAndRemembersNothing()
    {
      MainWindow::controller()->openFileName( absolute( TestSupport::writeVector( "plain.gpkg", "GPKG", { "p" } ) ) );
      const QString target = absolute( "no-extension" );
      TestSupport::answerFileDialog( { target }, vectorFilterFor( "GPKG" ) );
      MainWindow::controller()->exportData();
      QCOMPARE( notices().size(), 1 );
      QCOMPARE( notices()[0].title, QStringLiteral( "Lưu vector layer" ) );
      QCOMPARE( notices()[0].text, QStringLiteral( "Lưu %1 thất bại, mã lỗi %2" )
                                       .arg( target )
                                       .arg( int( QgsVectorFileWriter::ErrDriverNotFound ) ) );
      QCOMPARE( notices()[0].level, Qgis::Critical );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::vectorSaveDir ), QDir::homePath() );
      QVERIFY( !QFile::exists( target ) );
    }

    void aShapefileIsReplacedWholeOrNotAtAll()
    {
      QDir().mkpath( "kept" );
      const QString target = absolute( "kept/parcels.shp" );
      TestSupport::writeVector( target, "ESRI Shapefile", { "parcels" } );
      MainWindow::controller()->openFileName( absolute( TestSupport::writeVector( "two.gpkg", "GPKG", { "other" } ) ) );
      const QMap<QString, QByteArray> before = TestSupport::folderContents( "kept" );
      // A name under a regular file fails before anything is written; the earlier set stays.
      TestSupport::answerFileDialog( { absolute( "kept/parcels.shp/x.shp" ) }, vectorFilterFor( "ESRI Shapefile" ) );
      MainWindow::controller()->exportData();
      QCOMPARE( notices().last().level, Qgis::Critical );
      QVERIFY( TestSupport::folderContents( "kept" ) == before );

      TestSupport::answerFileDialog( { target }, vectorFilterFor( "ESRI Shapefile" ) );
      TestSupport::answerYes();
      MainWindow::controller()->exportData();
      QCOMPARE( notices().last().level, Qgis::Info );
      const QMap<QString, QByteArray> after = TestSupport::folderContents( "kept" );
      for ( const QString &name : after.keys() ) // nothing hidden left behind
        QVERIFY2( name.startsWith( "parcels." ), qPrintable( name ) );
      QVERIFY( after.value( "parcels.dbf" ) != before.value( "parcels.dbf" ) );
      QVERIFY( QDir( "kept" ).entryList( QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot ).isEmpty() );
    }

    void metadataShowsTheCurrentLayerAndHandlesLinks()
    {
      MainWindow::controller()->openFileName(
          absolute( TestSupport::writeVector( "first.shp", "ESRI Shapefile", { "first" } ) ) );
      MainWindow::controller()->showMetadata();
      auto *viewer = qobject_cast<MetadataViewerDialog *>( QApplication::activeModalWidget() );
      QVERIFY( viewer );
      QCOMPARE( viewer->windowTitle(), QStringLiteral( "Thông tin thuộc tính" ) );
      auto *browser = viewer->findChild<QTextBrowser *>( "textBrowser" );
      QVERIFY( browser->toPlainText().contains( "first" ) );
      viewer->close();

      MainWindow::controller()->openFileName( absolute( TestSupport::writeRaster( "second.tif" ) ) );
      MainWindow::controller()->showMetadata();
      QVERIFY( viewer->isVisible() );
      QVERIFY( browser->toPlainText().contains( "second.tif" ) );
      QVERIFY( !browser->toPlainText().contains( "first.shp" ) );
      viewer->showLayerMetadata( nullptr );
      QVERIFY( browser->toPlainText().contains( "second.tif" ) );
      viewer->close();

      UrlCatcher catcher;
      QDesktopServices::setUrlHandler( "file", &catcher, "open" );
      QDesktopServices::setUrlHandler( "https", &catcher, "open" );
      viewer->urlClicked( QUrl::fromLocalFile( absolute( "second.tif" ) ) );
      viewer->urlClicked( QUrl::fromLocalFile( QDir::currentPath() ) );
      viewer->urlClicked( QUrl( "https://qgis.org/" ) );
      QDesktopServices::unsetUrlHandler( "file" );
      QDesktopServices::unsetUrlHandler( "https" );
      // No file manager on the bus here, so revealing a file opens its folder.
      QCOMPARE( catcher.opened,
                ( QList<QUrl>{ QUrl::fromLocalFile( QDir::currentPath() ), QUrl::fromLocalFile( QDir::currentPath() ),
                               QUrl( "https://qgis.org/" ) } ) );
    }
};

RASTOVA_TEST( TestVectorData )
#include "TestVectorData.moc"
