#include "Tools/RasterExportDialog.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"
#include "Processing/OutputName.h"
#include "Tools/ToolRun.h"

#include <QCloseEvent>
#include <QShowEvent>

#include <qgsfeatureiterator.h>
#include <qgsmapcanvas.h>
#include <qgsmaptoolextent.h>
#include <qgsproject.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>

#include <memory>

namespace
{
constexpr int bandRole = Qt::UserRole;

QString numberText( double value )
{
  return QString::number( value, 'g', 15 );
}
} // namespace

RasterExportDialog::RasterExportDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  progressBar->hide();
  mRun = new ToolRun( progressBar, applyButton, stopButton, this );
  mapLayerComboBox->setMapCanvas( MainWindow::mapCanvas() );
  mapLayerComboBox->setLayerType( QgsMapLayerType::RasterLayer );
  writerFormatComboBox->setLayerType( 0 );
  writerFormatComboBox->refresh();
  fileWidget->setMode( FileWidget::SaveFile );
  maskLayerComboBox->setFilters( QgsMapLayerProxyModel::PolygonLayer );
  for ( const char *method : { "nearest", "bilinear", "cubic", "average", "mode" } )
    resamplingComboBox->addItem( QString::fromLatin1( method ),
                                 QString::fromLatin1( method ).replace( QLatin1String( "nearest" ), "near" ) );
  dataTypeComboBox->addItem( QStringLiteral( "Như ảnh gốc" ), int( GDT_Unknown ) );
  for ( GDALDataType type : { GDT_Byte, GDT_UInt16, GDT_Int16, GDT_UInt32, GDT_Int32, GDT_Float32, GDT_Float64 } )
    dataTypeComboBox->addItem( QString::fromLatin1( GDALGetDataTypeName( type ) ), int( type ) );
  mExtentTool = new QgsMapToolExtent( MainWindow::mapCanvas() );
  mExtentTool->setParent( this );

  connect( mapLayerComboBox, &MapLayerComboBox::currentLayerChanged, this, &RasterExportDialog::currentLayerChanged );
  connect( crsSelector, &QgsProjectionSelectionWidget::crsChanged, this, &RasterExportDialog::crsChanged );
  connect( drawExtentRadioButton, &QRadioButton::clicked, this, &RasterExportDialog::startDrawing );
  connect( mExtentTool, &QgsMapToolExtent::extentChanged, this, &RasterExportDialog::extentDrawn );
  connect( applyButton, &QPushButton::clicked, this, &RasterExportDialog::apply );
  connect( cancelButton, &QPushButton::clicked, this, &QWidget::close );
}

void RasterExportDialog::showLayer( QgsRasterLayer *layer )
{
  show();
  mapLayerComboBox->setLayer( layer );
}

void RasterExportDialog::showEvent( QShowEvent *event )
{
  event->accept();
  if ( mDrawing )
    return;
  mapLayerComboBox->refresh();
  mapLayerComboBox->setLayerSelectedIn( MainWindow::layerTreeView() );
}

void RasterExportDialog::closeEvent( QCloseEvent *event )
{
  mRun->cancel();
  QDialog::closeEvent( event );
}

QgsRasterLayer *RasterExportDialog::currentRaster() const
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() );
  return layer && layer->isValid() ? layer : nullptr;
}

void RasterExportDialog::currentLayerChanged( QgsMapLayer *mapLayer )
{
  bandListWidget->clear();
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayer );
  if ( !layer || !layer->isValid() )
    return;
  for ( int band = 1; band <= layer->bandCount(); ++band )
  {
    auto *item = new QListWidgetItem( layer->bandName( band ), bandListWidget );
    item->setData( bandRole, band );
    item->setFlags( ( item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled ) & ~Qt::ItemIsDropEnabled );
    item->setCheckState( Qt::Checked );
  }
  mSourceResolution = layer->rasterUnitsPerPixelX();
  const QgsRasterDataProvider *provider = layer->dataProvider();
  noDataLineEdit->setText( provider->sourceHasNoDataValue( 1 ) ? numberText( provider->sourceNoDataValue( 1 ) )
                                                               : QString() );
  dataTypeComboBox->setCurrentIndex( 0 );
  // Setting the layer's own CRS may not announce a change, so the pixel size is set here too.
  crsSelector->setCrs( layer->crs() );
  resolutionSpinBox->setValue( mSourceResolution );
}

void RasterExportDialog::crsChanged()
{
  const QgsRasterLayer *layer = currentRaster();
  if ( !layer )
    return;
  const QgsCoordinateReferenceSystem crs = crsSelector->crs();
  const double suggested = !crs.isValid() || crs == layer->crs()
                               ? mSourceResolution
                               : RasterClip::suggestedResolution( layer->source(), crs );
  if ( suggested > 0 )
    resolutionSpinBox->setValue( suggested );
}

void RasterExportDialog::startDrawing( bool checked )
{
  if ( !checked )
    return;
  QgsMapCanvas *canvas = MainWindow::mapCanvas();
  mPreviousTool = canvas->mapTool();
  canvas->setMapTool( mExtentTool );
  // The dialog is modal; the map takes the mouse until the rectangle is drawn.
  mDrawing = true;
  hide();
}

void RasterExportDialog::extentDrawn( const QgsRectangle &extent )
{
  if ( !mDrawing )
    return;
  QgsMapCanvas *canvas = MainWindow::mapCanvas();
  mDrawnExtent = extent;
  mDrawnCrs = canvas->mapSettings().destinationCrs();
  mExtentTool->clearRubberBand();
  if ( mPreviousTool )
    canvas->setMapTool( mPreviousTool );
  else
    canvas->unsetMapTool( mExtentTool );
  show();
  mDrawing = false;
}

bool RasterExportDialog::fillRequest( RasterClip::Request &request )
{
  const auto refuse = [this]( const QString &notice )
  {
    noticeLabel->setText( Utils::errorText( notice ) );
    return false;
  };
  QgsRasterLayer *layer = currentRaster();
  request.source = layer->source();
  request.transformContext = QgsProject::instance()->transformContext();
  for ( int row = 0; row < bandListWidget->count(); ++row )
  {
    if ( bandListWidget->item( row )->checkState() == Qt::Checked )
      request.bands << bandListWidget->item( row )->data( bandRole ).toInt();
  }
  if ( request.bands.isEmpty() )
    return refuse( QStringLiteral( "Chưa chọn kênh ảnh nào" ) );

  if ( canvasExtentRadioButton->isChecked() )
  {
    request.extent = MainWindow::mapCanvas()->extent();
    request.extentCrs = MainWindow::mapCanvas()->mapSettings().destinationCrs();
  }
  else if ( drawExtentRadioButton->isChecked() )
  {
    if ( mDrawnExtent.isEmpty() )
      return refuse( QStringLiteral( "Chưa vẽ vùng cắt trên bản đồ" ) );
    request.extent = mDrawnExtent;
    request.extentCrs = mDrawnCrs;
  }
  else if ( maskRadioButton->isChecked() )
  {
    auto *mask = qobject_cast<QgsVectorLayer *>( maskLayerComboBox->currentLayer() );
    if ( !mask )
      return refuse( QStringLiteral( "Chưa chọn lớp vùng cắt" ) );
    request.useMask = true;
    request.maskCrs = mask->crs();
    QgsFeatureIterator features = selectedOnlyCheckBox->isChecked()
                                      ? mask->getSelectedFeatures( QgsFeatureRequest().setNoAttributes() )
                                      : mask->getFeatures( QgsFeatureRequest().setNoAttributes() );
    QgsFeature feature;
    while ( features.nextFeature( feature ) )
      request.mask << feature.geometry();
  }

  request.crs = crsSelector->crs();
  request.resolution = resolutionSpinBox->value();
  request.resampling = resamplingComboBox->currentData().toString();
  request.dataType = static_cast<GDALDataType>( dataTypeComboBox->currentData().toInt() );
  const QString noData = noDataLineEdit->text().trimmed();
  bool isNumber = true;
  request.hasNoData = !noData.isEmpty();
  request.noData = request.hasNoData ? noData.toDouble( &isNumber ) : 0;
  if ( !isNumber || ( request.useMask && !request.hasNoData ) )
    return refuse( QStringLiteral( "Giá trị no-data không hợp lệ" ) );
  request.compression = compressionComboBox->compression();
  request.cog = cogCheckBox->isChecked();
  request.overviews = overviewsCheckBox->isChecked();
  request.driver = request.cog ? QStringLiteral( "COG" ) : writerFormatComboBox->currentDriverName();
  request.output = OutputName::withExtension(
      fileWidget->filePath(), request.cog ? QStringLiteral( "tif" ) : writerFormatComboBox->currentExtension() );

  const ProcessingResult checked = RasterClip::check( request );
  switch ( checked.status )
  {
  case ProcessingResult::Status::Done:
    return true;
  case ProcessingResult::Status::NoBand:
    return refuse( QStringLiteral( "Chưa chọn kênh ảnh nào" ) );
  case ProcessingResult::Status::OutsideRaster:
    return refuse( QStringLiteral( "Vùng cắt nằm ngoài ảnh" ) );
  case ProcessingResult::Status::EmptyMask:
    return refuse( QStringLiteral( "Lớp vùng cắt không có đa giác nào" ) );
  default:
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Xuất ảnh thất bại" ), checked.reason ) );
    return false;
  }
}

bool RasterExportDialog::acceptTypeRange( const RasterClip::Request &request )
{
  RasterClip::Range range;
  if ( request.dataType == GDT_Unknown || !RasterClip::valueRange( request, range ) ||
       RasterClip::typeHolds( request.dataType, range ) )
    return true;
  const QString type = QString::fromLatin1( GDALGetDataTypeName( request.dataType ) );
  MessageBox question( this, windowTitle(),
                       QStringLiteral( "Kiểu %1 không chứa được các giá trị của ảnh (từ %2 đến %3). Tiếp tục và "
                                       "đưa các giá trị vượt ra về giới hạn của kiểu %1?" )
                           .arg( type, numberText( range.minimum ), numberText( range.maximum ) ),
                       Utils::iconPath( QStringLiteral( "Information.svg" ) ),
                       QDialogButtonBox::Yes | QDialogButtonBox::No );
  if ( question.exec() == QDialog::Accepted )
    return true;
  noticeLabel->setText(
      Utils::errorText( QStringLiteral( "Kiểu %1 không chứa được các giá trị của ảnh" ).arg( type ) ) );
  return false;
}

void RasterExportDialog::exportRaster( const RasterClip::Request &request )
{
  const auto result = std::make_shared<ProcessingResult>( ProcessingResult::cancelled() );
  const QString output = request.output;
  mRun->start(
      windowTitle(), [request, result]( QgsFeedback *feedback ) { *result = RasterClip::run( request, feedback ); },
      [this, result, output]
      {
        if ( !ToolRun::succeeded( *result, noticeLabel, QStringLiteral( "Đã hủy xuất ảnh" ),
                                  QStringLiteral( "Xuất ảnh thất bại" ) ) )
          return;
        mRun->finish( { output }, noticeLabel, QStringLiteral( "Xuất ảnh đã hoàn thành" ), this );
        if ( autoOpenCheckBox->isChecked() )
          emit complete( output );
      } );
}

void RasterExportDialog::apply()
{
  if ( mRun->isRunning() || !currentRaster() )
    return;
  if ( !Utils::isWritablePath( fileWidget->filePath() ) )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Đường dẫn ảnh kết quả không khả dụng" ) ) );
    return;
  }
  RasterClip::Request request;
  if ( !fillRequest( request ) || !acceptTypeRange( request ) )
    return;
  noticeLabel->clear();
  exportRaster( request );
}
