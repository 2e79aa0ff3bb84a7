#include "Gui/PixelValuesDock.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/ProfileChart.h"
#include "Processing/OutputName.h"
#include "Processing/TemporalProfile.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QtCharts/QChart>

#include <qgsmapcanvas.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

using namespace QtCharts;

namespace
{
QChart *newChart()
{
  auto *chart = new QChart();
  chart->setAnimationOptions( QChart::NoAnimation );
  chart->legend()->setAlignment( Qt::AlignBottom );
  chart->setMargins( QMargins( 2, 2, 2, 2 ) );
  return chart;
}
} // namespace

PixelValuesDock::PixelValuesDock( QgsMapCanvas *canvas, QWidget *parent )
    : QgsDockWidget( QStringLiteral( "Giá trị điểm ảnh" ), parent )
    , mCanvas( canvas )
{
  setObjectName( QStringLiteral( "PixelValuesDock" ) );
  setAllowedAreas( Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea );
  auto *contents = new QWidget( this );
  setupUi( contents );
  setWidget( contents );
  pixelValuesTree->header()->setSectionResizeMode( 0, QHeaderView::ResizeToContents );
  pixelValuesSplitter->setStretchFactor( 1, 1 );
  pixelValuesSplitter->setSizes( { 120, 380 } );
  for ( QChartView *view : { spectralProfileChartView, temporalProfileChartView } )
  {
    view->setChart( newChart() );
    view->setRenderHint( QPainter::Antialiasing );
  }
  connect( pinButton, &QPushButton::clicked, this, &PixelValuesDock::pinProfiles );
  connect( clearPinsButton, &QPushButton::clicked, this, &PixelValuesDock::clearPins );
  connect( exportProfilesButton, &QPushButton::clicked, this, &PixelValuesDock::exportProfiles );
  connect( temporalBandComboBox, qOverload<int>( &QComboBox::activated ), this, &PixelValuesDock::showHistory );
  showSpectra();
  showHistory();
}

void PixelValuesDock::showValuesAt( const QgsPointXY &point )
{
  QList<QgsRasterLayer *> rasters;
  for ( QgsMapLayer *layer : mCanvas->layers() )
  {
    if ( auto *raster = qobject_cast<QgsRasterLayer *>( layer ) )
      rasters.append( raster );
  }
  mLayers = PixelValues::at( rasters, point, mCanvas->mapSettings().destinationCrs(),
                             QgsProject::instance()->transformContext() );
  mCurrent = SpectralProfile::of( mLayers, point, mCanvas->mapSettings().destinationCrs().isGeographic() ? 5 : 0 );
  fillTree();
  showSpectra();

  const int chosen = std::max( 1, temporalBandComboBox->currentIndex() + 1 );
  temporalBandComboBox->clear();
  for ( int band = 1; band <= TemporalProfile::bandCount( mLayers ); ++band )
  {
    QString description;
    for ( const PixelValues::Layer &layer : qAsConst( mLayers ) )
    {
      if ( description.isEmpty() && band <= layer.bands.size() )
        description = layer.bands.at( band - 1 ).description;
    }
    temporalBandComboBox->addItem( PixelValues::bandLabel( band, description ) );
  }
  temporalBandComboBox->setCurrentIndex( std::min( chosen, temporalBandComboBox->count() ) - 1 );
  showHistory();
}

void PixelValuesDock::fillTree()
{
  pixelValuesTree->clear();
  for ( const PixelValues::Layer &layer : qAsConst( mLayers ) )
  {
    auto *top = new QTreeWidgetItem( pixelValuesTree, { layer.name } );
    top->setData( 0, Qt::UserRole, layer.id );
    for ( const PixelValues::Band &band : layer.bands )
      new QTreeWidgetItem( top,
                           { PixelValues::bandLabel( band.number, band.description ), PixelValues::text( band ) } );
    new QTreeWidgetItem( top, { QStringLiteral( "Cột" ), QString::number( layer.column ) } );
    new QTreeWidgetItem( top, { QStringLiteral( "Hàng" ), QString::number( layer.row ) } );
  }
  pixelValuesTree->expandAll();
}

void PixelValuesDock::showSpectra()
{
  ProfileChart::showSpectral( spectralProfileChartView->chart(), mPinned, mCurrent );
  updateButtons();
}

void PixelValuesDock::showHistory()
{
  ProfileChart::showTemporal( temporalProfileChartView->chart(),
                              TemporalProfile::of( mLayers, temporalBandComboBox->currentIndex() + 1 ),
                              QStringLiteral( "Chọn một điểm nằm trên hai ảnh có ngày chụp trở lên" ) );
  temporalBandComboBox->setEnabled( temporalBandComboBox->count() > 0 );
}

void PixelValuesDock::updateButtons()
{
  pinButton->setEnabled( !mCurrent.isEmpty() && mPinned.size() < ProfileChart::colourCount );
  clearPinsButton->setEnabled( !mPinned.isEmpty() );
  exportProfilesButton->setEnabled( !mPinned.isEmpty() || !mCurrent.isEmpty() );
}

void PixelValuesDock::pinProfiles()
{
  for ( const SpectralProfile &profile : qAsConst( mCurrent ) )
  {
    if ( mPinned.size() < ProfileChart::colourCount )
      mPinned << profile;
  }
  mCurrent.clear();
  showSpectra();
}

void PixelValuesDock::clearPins()
{
  mPinned.clear();
  showSpectra();
}

void PixelValuesDock::exportProfiles()
{
  const QString chosen = QFileDialog::getSaveFileName( this, QStringLiteral( "Xuất hồ sơ phổ" ),
                                                       Utils::rememberedFolder( Utils::Keys::rasterSaveDir ),
                                                       QStringLiteral( "CSV (*.csv)" ) );
  if ( chosen.isEmpty() )
    return;
  const QString fileName = OutputName::withExtension( chosen, QStringLiteral( "csv" ) );
  Utils::rememberFolderOf( Utils::Keys::rasterSaveDir, fileName );
  const ProcessingResult result = SpectralProfile::writeCsv( mPinned + mCurrent, fileName );
  if ( result.done() )
    MainWindow::messageBar()->pushMessage( QStringLiteral( "Xuất hồ sơ phổ" ), fileName, Qgis::Success );
  else
    MainWindow::messageBar()->pushMessage( QStringLiteral( "Xuất hồ sơ phổ" ),
                                           QStringLiteral( "Không ghi được %1: %2" ).arg( fileName, result.reason ),
                                           Qgis::Critical );
}
