#include "Tools/ImageSeparationDialog.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/RasterBands.h"

#include <QShowEvent>
#include <QTimer>

#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

ImageSeparationDialog::ImageSeparationDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  progressBar->hide();
  fileWidget->setMode( FileWidget::Directory );
  formatComboBox->setLayerType( 0 );
  formatComboBox->refresh();
  mapLayerComboBox->setMapCanvas( MainWindow::mapCanvas() );
  mapLayerComboBox->setLayerType( QgsMapLayerType::RasterLayer );

  connect( mapLayerComboBox, &MapLayerComboBox::currentLayerChanged, this,
           &ImageSeparationDialog::currentLayerChanged );
  connect( editButton, &QToolButton::clicked, this, &ImageSeparationDialog::editBandName );
  connect( applyButton, &QPushButton::clicked, this, &ImageSeparationDialog::apply );
  connect( cancelButton, &QPushButton::clicked, this, &QWidget::close );
}

void ImageSeparationDialog::showEvent( QShowEvent *event )
{
  event->accept();
  mapLayerComboBox->refresh();
  mapLayerComboBox->setLayerSelectedIn( MainWindow::layerTreeView() );
}

void ImageSeparationDialog::editBandName()
{
  if ( QListWidgetItem *item = bandListWidget->currentItem() )
    bandListWidget->editItem( item );
}

void ImageSeparationDialog::currentLayerChanged( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayer );
  if ( !layer || !layer->isValid() )
    return;
  bandCountLineEdit->setText( QString::number( layer->bandCount() ) );
  pixelTypeLineEdit->setText( QStringLiteral( "%1 bit" ).arg( 8 * layer->dataProvider()->dataTypeSize( 1 ) ) );
  bandListWidget->clear();
  const QIcon icon = Utils::icon( QStringLiteral( "Band.svg" ) );
  for ( int band = 1; band <= layer->bandCount(); ++band )
  {
    auto *item =
        new QListWidgetItem( icon, QStringLiteral( "%1-band%2" ).arg( layer->name() ).arg( band ), bandListWidget );
    item->setFlags( item->flags() | Qt::ItemIsEditable );
  }
}

bool ImageSeparationDialog::separateBands( QgsRasterLayer *layer, const QStringList &fileNames )
{
  progressBar->show();
  progressBar->setValue( 0 );
  // The work holds the event loop, so lay out and paint the bar now.
  layout()->activate();
  progressBar->repaint();
  QString error;
  const bool written = RasterBands::split(
      layer, fileNames, formatComboBox->currentDriverName(),
      [this]( int percent ) { progressBar->setValue( percent ); }, &error );
  progressBar->hide();
  if ( !written )
    qCritical().noquote() << error;
  return written;
}

void ImageSeparationDialog::apply()
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() );
  if ( !layer || !layer->isValid() )
    return;
  const QString folder = fileWidget->filePath();
  if ( folder.isEmpty() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Chưa chọn thư mục lưu ảnh kết quả" ) ) );
    return;
  }
  const QString extension = formatComboBox->currentExtension();
  QStringList fileNames;
  for ( int row = 0; row < bandListWidget->count(); ++row )
    fileNames << QStringLiteral( "%1/%2.%3" ).arg( folder, bandListWidget->item( row )->text(), extension );

  if ( !separateBands( layer, fileNames ) )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Không thể tách kênh ảnh" ) ) );
    return;
  }
  if ( autoOpenCheckBox->isChecked() )
    emit complete( fileNames );
  noticeLabel->setText( Utils::successText( QStringLiteral( "Tách kênh ảnh đã hoàn thành" ) ) );
  QTimer::singleShot( Utils::dialogTimeout() * 1000, this, &QWidget::close );
}
