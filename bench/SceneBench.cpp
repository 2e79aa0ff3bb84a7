// Opening a full-size satellite product as a scene, one route per run:
//   rastova-bench-scenes landsat DIR         a Landsat 8 L2 product, 7 bands of 7800 x 7700, in DIR
//   rastova-bench-scenes sentinel2 DIR.SAFE  a Sentinel-2 L2A product, 10 m bands of 10980 x 10980
//   rastova-bench-scenes open PATH OUT       reads the product, writes its layers to OUT, opens the
//                                            reflectance layer and stretches it as the window does

#include "../tests/SceneFixtures.h"
#include "Processing/SceneReader.h"

#include <QElapsedTimer>

#include <cstdio>
#include <gdal.h>
#include <memory>
#include <qgsapplication.h>
#include <qgsrasterlayer.h>

int main( int argc, char *argv[] )
{
  const QByteArray route = argc == 3 || argc == 4 ? QByteArray( argv[1] ) : QByteArray();
  if ( route == "landsat" || route == "sentinel2" )
  {
    GDALAllRegister();
    if ( route == "landsat" )
    {
      TestSupport::LandsatLayout layout;
      layout.width = 7800;
      layout.height = 7700;
      return TestSupport::writeLandsat( QString::fromUtf8( argv[2] ), layout ).isEmpty() ? 1 : 0;
    }
    TestSupport::Sentinel2Layout layout;
    layout.width = layout.height = 10980;
    layout.format = QStringLiteral( "tif" );
    return TestSupport::writeSentinel2( QString::fromUtf8( argv[2] ), layout ).isEmpty() ? 1 : 0;
  }
  if ( route != "open" || argc != 4 )
  {
    std::fprintf( stderr, "usage: %s landsat DIR | sentinel2 DIR.SAFE | open PATH OUT\n", argv[0] );
    return 2;
  }
  QgsApplication application( argc, argv, false );
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();

  QElapsedTimer timer;
  timer.start();
  Scene scene;
  const ProcessingResult result =
      SceneReader::open( QString::fromUtf8( argv[2] ), QString::fromUtf8( argv[3] ), scene );
  if ( !result.done() )
  {
    std::fprintf( stderr, "%s\n", qPrintable( result.reason ) );
    return 1;
  }
  const qint64 read = timer.elapsed();
  auto layer = std::make_unique<QgsRasterLayer>( scene.reflectanceLayer, scene.id, QStringLiteral( "gdal" ) );
  layer->setContrastEnhancement( QgsContrastEnhancement::StretchToMinimumMaximum, QgsRasterMinMaxOrigin::CumulativeCut,
                                 QgsRectangle(), static_cast<int>( QgsRasterLayer::SAMPLE_SIZE ), true );
  std::printf( "%s: %d bands of %d x %d; product read and VRTs written %lld ms, layer opened and stretched %lld ms\n",
               qPrintable( scene.title ), layer->bandCount(), layer->width(), layer->height(),
               static_cast<long long>( read ), static_cast<long long>( timer.elapsed() - read ) );
  return layer->isValid() ? 0 : 1;
}
