#include "Tools/ImageSeparationDialog.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"
#include "Processing/OutputName.h"
#include "Processing/RasterBands.h"
#include "Tools/ToolRun.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QShowEvent>

#include <memory>

#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

ImageSeparationDialog::ImageSeparationDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  progressBar->hide();
  mRun = new ToolRun( progressBar, applyButton, stopButton, this );
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

void ImageSeparationDialog::closeEvent( QCloseEvent *event )
{
  mRun->cancel();
  QDialog::closeEvent( event );
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

void ImageSeparationDialog::separateBands( QgsRasterLayer *layer, const QStringList &fileNames )
{
  const auto request = RasterBands::splitRequest( layer, fileNames, formatComboBox->currentDriverName(),
                                                  compressionComboBox->compression() );
  // A run cancelled before it started never sets the result.
  const auto result = std::make_shared<ProcessingResult>( ProcessingResult::cancelled() );
  mRun->start(
      windowTitle(), [request, result]( QgsFeedback *feedback ) { *result = RasterBands::split( request, feedback ); },
      [this, result, fileNames]
      {
        if ( !ToolRun::succeeded( *result, noticeLabel, QStringLiteral( "Đã hủy tách kênh ảnh" ),
                                  QStringLiteral( "Không thể tách kênh ảnh" ) ) )
          return;
        mRun->finish( fileNames, noticeLabel, QStringLiteral( "Tách kênh ảnh đã hoàn thành" ), this );
        if ( autoOpenCheckBox->isChecked() )
          emit complete( fileNames );
      } );
}

bool ImageSeparationDialog::makeFolder( const QString &folder )
{
  const QString missing = QStringLiteral( "Thư mục lưu ảnh kết quả không tồn tại" );
  if ( QFileInfo::exists( folder ) )
  {
    noticeLabel->setText( Utils::errorText( missing, folder ) );
    return false;
  }
  const QString cannot = QStringLiteral( "Không thể tạo thư mục lưu ảnh kết quả" );
  // A folder under a file can never be made: say so rather than offer it.
  QFileInfo ancestor( QFileInfo( folder ).absolutePath() );
  while ( !ancestor.exists() && !ancestor.isRoot() )
    ancestor.setFile( ancestor.absolutePath() );
  if ( !ancestor.isDir() )
  {
    noticeLabel->setText( Utils::errorText( cannot, folder ) );
    return false;
  }
  MessageBox question(
      this, windowTitle(),
      QStringLiteral( "Thư mục %1 chưa có. Bạn có muốn tạo thư mục này?" ).arg( QDir::toNativeSeparators( folder ) ),
      Utils::iconPath( QStringLiteral( "Folder.svg" ) ), QDialogButtonBox::Yes | QDialogButtonBox::No );
  if ( question.exec() != QDialog::Accepted )
  {
    noticeLabel->setText( Utils::errorText( missing, folder ) );
    return false;
  }
  if ( !QDir().mkpath( folder ) )
  {
    noticeLabel->setText( Utils::errorText( cannot, folder ) );
    return false;
  }
  return true;
}

void ImageSeparationDialog::apply()
{
  if ( mRun->isRunning() )
    return;
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() );
  if ( !layer || !layer->isValid() )
    return;
  const QString folder = fileWidget->filePath();
  if ( folder.isEmpty() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Chưa chọn thư mục lưu ảnh kết quả" ) ) );
    return;
  }
  if ( !QFileInfo( folder ).isDir() && !makeFolder( folder ) )
    return;
  const QString extension = formatComboBox->currentExtension();
  QStringList fileNames;
  for ( int row = 0; row < bandListWidget->count(); ++row )
    fileNames << OutputName::inFolder( folder, bandListWidget->item( row )->text(), extension );
  noticeLabel->clear();
  separateBands( layer, fileNames );
}
