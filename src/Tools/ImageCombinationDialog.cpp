#include "Tools/ImageCombinationDialog.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/RasterBands.h"

#include <QFileInfo>
#include <QShowEvent>
#include <QTimer>

#include <qgsrasterlayer.h>

ImageCombinationDialog::ImageCombinationDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  progressBar->hide();
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
}

void ImageCombinationDialog::showEvent( QShowEvent *event )
{
  event->accept();
  mapLayerComboBox->refresh();
  writerFormatComboBox->refresh();
}

void ImageCombinationDialog::add()
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() );
  if ( !layer || !layer->isValid() )
    return;
  const QString icon = layer->bandCount() < 2 ? QStringLiteral( "Band.svg" ) : QStringLiteral( "mIconRaster.svg" );
  bandListWidget->addItem( new QListWidgetItem( Utils::icon( icon ), layer->name() ) );
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

bool ImageCombinationDialog::combineImages( QList<QgsRasterLayer *> rasterLayers, QString output )
{
  progressBar->show();
  progressBar->setValue( 0 );
  // The work holds the event loop, so lay out and paint the bar now.
  layout()->activate();
  progressBar->repaint();
  QString error;
  const bool written = RasterBands::stack(
      rasterLayers, output, writerFormatComboBox->currentDriverName(),
      [this]( int percent ) { progressBar->setValue( percent ); }, &error );
  progressBar->hide();
  if ( !written )
    qCritical().noquote() << "Image combination failed:" << error;
  return written;
}

void ImageCombinationDialog::apply()
{
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

  const QList<QgsMapLayer *> listed = mapLayerComboBox->layers();
  QList<QgsRasterLayer *> layers;
  for ( int row = 0; row < bandListWidget->count(); ++row )
  {
    const QString name = bandListWidget->item( row )->text();
    const auto match = std::find_if( listed.cbegin(), listed.cend(),
                                     [&name]( const QgsMapLayer *layer ) { return layer && layer->name() == name; } );
    if ( match != listed.cend() )
      layers << qobject_cast<QgsRasterLayer *>( *match );
  }
  if ( layers.isEmpty() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Không có kênh ảnh nào khả dụng" ) ) );
    return;
  }
  const QgsRasterLayer *first = layers.constFirst();
  for ( const QgsRasterLayer *layer : qAsConst( layers ) )
  {
    if ( layer->extent() != first->extent() || layer->crs() != first->crs() )
    {
      noticeLabel->setText( Utils::errorText( QStringLiteral( "Các ảnh không cùng khu vực hoặc hệ tọa độ" ) ) );
      return;
    }
  }

  QString output = fileWidget->filePath();
  const QString extension = writerFormatComboBox->currentExtension();
  if ( QFileInfo( output ).suffix().isEmpty() && !extension.isEmpty() )
    output += QLatin1Char( '.' ) + extension;

  if ( !combineImages( layers, output ) )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Gộp kênh ảnh thất bại" ) ) );
    return;
  }
  if ( autoOpenCheckBox->isChecked() )
    emit complete( output );
  noticeLabel->setText( Utils::successText( QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) ) );
  QTimer::singleShot( Utils::dialogTimeout() * 1000, this, &QWidget::close );
}
