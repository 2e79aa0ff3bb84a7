#include "Tools/ImageCombinationDialog.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/OutputName.h"
#include "Processing/RasterBands.h"
#include "Tools/ToolRun.h"

#include <QCloseEvent>
#include <QShowEvent>

#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <memory>

namespace
{
constexpr int layerIdRole = Qt::UserRole;
// The layer's name and file: the row's text and tooltip before any repeat mark.
constexpr int nameRole = Qt::UserRole + 1;
constexpr int sourceRole = Qt::UserRole + 2;
} // namespace

ImageCombinationDialog::ImageCombinationDialog( QWidget *parent )
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
  fileWidget->setMode( FileWidget::SaveFile );

  connect( addButton, &QToolButton::clicked, this, &ImageCombinationDialog::add );
  connect( removeButton, &QToolButton::clicked, this, &ImageCombinationDialog::remove );
  connect( upButton, &QToolButton::clicked, this, &ImageCombinationDialog::up );
  connect( downButton, &QToolButton::clicked, this, &ImageCombinationDialog::down );
  connect( applyButton, &QPushButton::clicked, this, &ImageCombinationDialog::apply );
  connect( cancelButton, &QPushButton::clicked, this, &QWidget::close );
  QAbstractItemModel *rows = bandListWidget->model();
  connect( rows, &QAbstractItemModel::rowsInserted, this, &ImageCombinationDialog::markRepeats );
  connect( rows, &QAbstractItemModel::rowsRemoved, this, &ImageCombinationDialog::markRepeats );
  connect( rows, &QAbstractItemModel::rowsMoved, this, &ImageCombinationDialog::markRepeats );
}

void ImageCombinationDialog::showEvent( QShowEvent *event )
{
  event->accept();
  mapLayerComboBox->refresh();
  writerFormatComboBox->refresh();
}

void ImageCombinationDialog::closeEvent( QCloseEvent *event )
{
  mRun->cancel();
  QDialog::closeEvent( event );
}

void ImageCombinationDialog::add()
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() );
  if ( !layer || !layer->isValid() )
    return;
  const QString icon = layer->bandCount() < 2 ? QStringLiteral( "Band.svg" ) : QStringLiteral( "mIconRaster.svg" );
  auto *item = new QListWidgetItem( Utils::icon( icon ), layer->name() );
  // Images of one name (a series, one folder per date) stay apart by id; the tip tells them apart.
  item->setData( layerIdRole, layer->id() );
  item->setData( nameRole, layer->name() );
  item->setData( sourceRole, layer->publicSource() );
  item->setToolTip( layer->publicSource() );
  bandListWidget->addItem( item );
}

void ImageCombinationDialog::markRepeats()
{
  QMap<QString, int> firstRows;
  for ( int row = 0; row < bandListWidget->count(); ++row )
  {
    QListWidgetItem *item = bandListWidget->item( row );
    const QString name = item->data( nameRole ).toString();
    const QString source = item->data( sourceRole ).toString();
    const auto first = firstRows.constFind( item->data( layerIdRole ).toString() );
    if ( first == firstRows.constEnd() )
    {
      firstRows.insert( item->data( layerIdRole ).toString(), row );
      item->setText( name );
      item->setToolTip( source );
      continue;
    }
    // Allowed, since a stack may want a band twice, but never by accident unnoticed.
    item->setText( name + QStringLiteral( " (lặp lại)" ) );
    item->setToolTip( QStringLiteral( "%1\nẢnh này đã có ở dòng %2: các kênh của nó sẽ được gộp thêm lần nữa" )
                          .arg( source )
                          .arg( first.value() + 1 ) );
  }
}

void ImageCombinationDialog::remove()
{
  delete bandListWidget->currentItem();
}

void ImageCombinationDialog::moveCurrentRow( int step )
{
  const int row = bandListWidget->currentRow();
  const int target = row + step;
  if ( row < 0 || target < 0 || target >= bandListWidget->count() )
    return;
  QListWidgetItem *item = bandListWidget->takeItem( row );
  bandListWidget->insertItem( target, item );
  bandListWidget->setCurrentRow( target );
}

void ImageCombinationDialog::up()
{
  moveCurrentRow( -1 );
}

void ImageCombinationDialog::down()
{
  moveCurrentRow( 1 );
}

QList<QgsRasterLayer *> ImageCombinationDialog::listedLayers()
{
  QList<QgsRasterLayer *> layers;
  QStringList gone;
  for ( int row = 0; row < bandListWidget->count(); ++row )
  {
    const QListWidgetItem *item = bandListWidget->item( row );
    auto *layer =
        qobject_cast<QgsRasterLayer *>( QgsProject::instance()->mapLayer( item->data( layerIdRole ).toString() ) );
    if ( layer && layer->isValid() )
      layers << layer;
    else
      gone << item->data( nameRole ).toString();
  }
  if ( layers.isEmpty() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Không có kênh ảnh nào khả dụng" ) ) );
    return {};
  }
  if ( !gone.isEmpty() )
  {
    // A stack never holds fewer or other bands than the list names.
    noticeLabel->setText( Utils::errorText(
        QStringLiteral( "Ảnh không còn trên bản đồ: %1" ).arg( gone.join( QStringLiteral( ", " ) ) ) ) );
    return {};
  }
  return layers;
}

void ImageCombinationDialog::combineImages( const QList<QgsRasterLayer *> &rasterLayers, const QString &output )
{
  const auto request = RasterBands::stackRequest( rasterLayers, output, writerFormatComboBox->currentDriverName(),
                                                  compressionComboBox->compression() );
  // A run cancelled before it started never sets the result.
  const auto result = std::make_shared<ProcessingResult>( ProcessingResult::cancelled() );
  mRun->start(
      windowTitle(), [request, result]( QgsFeedback *feedback ) { *result = RasterBands::stack( request, feedback ); },
      [this, result, output]
      {
        if ( !ToolRun::succeeded( *result, noticeLabel, QStringLiteral( "Đã hủy gộp kênh ảnh" ),
                                  QStringLiteral( "Gộp kênh ảnh thất bại" ) ) )
          return;
        mRun->finish( { output }, noticeLabel, QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ), this );
        if ( autoOpenCheckBox->isChecked() )
          emit complete( output );
      } );
}

void ImageCombinationDialog::apply()
{
  if ( mRun->isRunning() )
    return;
  if ( bandListWidget->count() == 0 )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Chưa có ảnh nào được chọn" ) ) );
    return;
  }
  if ( !Utils::isWritablePath( fileWidget->filePath() ) )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Đường dẫn ảnh kết quả không khả dụng" ) ) );
    return;
  }

  const QList<QgsRasterLayer *> layers = listedLayers();
  if ( layers.isEmpty() )
    return;
  const RasterGrid first = RasterGrid::of( layers.constFirst() );
  for ( const QgsRasterLayer *layer : layers )
  {
    if ( !first.coversSameArea( RasterGrid::of( layer ) ) )
    {
      noticeLabel->setText( Utils::errorText( QStringLiteral( "Các ảnh không cùng khu vực hoặc hệ tọa độ" ) ) );
      return;
    }
  }

  const QString output = OutputName::withExtension( fileWidget->filePath(), writerFormatComboBox->currentExtension() );
  noticeLabel->clear();
  combineImages( layers, output );
}
