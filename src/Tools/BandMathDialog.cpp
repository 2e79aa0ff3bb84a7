#include "Tools/BandMathDialog.h"

#include "Core/Utils.h"
#include "Processing/BandMath.h"
#include "Processing/IndexPreset.h"
#include "Processing/OutputName.h"
#include "Processing/PixelValues.h"
#include "Processing/RasterFormats.h"
#include "Tools/ToolRun.h"

#include <QCloseEvent>
#include <QInputDialog>
#include <QShowEvent>

#include <qgsfeedback.h>
#include <qgsproject.h>
#include <qgsrastercalcnode.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace
{
// Wide enough for any projected or geographic coordinate, narrow enough for the fields to stay readable.
constexpr double coordinateLimit = 1e15;

//! The bands the dialog offers: those of the project's GDAL rasters.
bool isOffered( const QgsRasterCalculatorEntry &entry )
{
  return entry.raster && entry.raster->dataProvider() && entry.raster->providerType() == QLatin1String( "gdal" );
}
} // namespace

BandMathDialog::BandMathDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  progressBar->hide();
  mRun = new ToolRun( progressBar, applyButton, stopButton, this );

  for ( QDoubleSpinBox *field : { xminDoubleSpinBox, xmaxDoubleSpinBox, yminDoubleSpinBox, ymaxDoubleSpinBox } )
    field->setRange( -coordinateLimit, coordinateLimit );
  for ( QSpinBox *field : { columnsSpinBox, rowsSpinBox } )
    field->setRange( 0, std::numeric_limits<int>::max() );
  const auto chosen = [this]
  {
    if ( !mFillingGrid )
      mGridChosen = true;
  };
  for ( QDoubleSpinBox *field : { xminDoubleSpinBox, xmaxDoubleSpinBox, yminDoubleSpinBox, ymaxDoubleSpinBox } )
    connect( field, qOverload<double>( &QDoubleSpinBox::valueChanged ), this, chosen );
  for ( QSpinBox *field : { columnsSpinBox, rowsSpinBox } )
    connect( field, qOverload<int>( &QSpinBox::valueChanged ), this, chosen );

  const std::pair<QPushButton *, void ( BandMathDialog::* )()> operators[] = {
      { plusButton, &BandMathDialog::plusButtonClicked },
      { minusButton, &BandMathDialog::minusButtonClicked },
      { multiplyButton, &BandMathDialog::multiplyButtonClicked },
      { divideButton, &BandMathDialog::divideButtonClicked },
      { sqrtButton, &BandMathDialog::sqrtButtonClicked },
      { expButton, &BandMathDialog::expButtonClicked },
      { lnButton, &BandMathDialog::lnButtonClicked },
      { logButton, &BandMathDialog::logButtonClicked },
      { cosButton, &BandMathDialog::cosButtonClicked },
      { arcCosButton, &BandMathDialog::arcCosButtonClicked },
      { sinButton, &BandMathDialog::sinButtonClicked },
      { arcSinButton, &BandMathDialog::arcSinButtonClicked },
      { tanButton, &BandMathDialog::tanButtonClicked },
      { arcTanButton, &BandMathDialog::arcTanButtonClicked },
      { equalButton, &BandMathDialog::equalButtonClicked },
      { notEqualButton, &BandMathDialog::notEqualButtonClicked },
      { lessButton, &BandMathDialog::lessButtonClicked },
      { greaterButton, &BandMathDialog::greaterButtonClicked },
      { lesserEqualButton, &BandMathDialog::lesserEqualButtonClicked },
      { greaterEqualButton, &BandMathDialog::greaterEqualButtonClicked },
      { minButton, &BandMathDialog::minButtonClicked },
      { maxButton, &BandMathDialog::maxButtonClicked },
      { absButton, &BandMathDialog::absButtonClicked },
      { andButton, &BandMathDialog::andButtonClicked },
      { orButton, &BandMathDialog::orButtonClicked },
      { openBracketButton, &BandMathDialog::openBracketButtonClicked },
      { closeBracketButton, &BandMathDialog::closeBracketButtonClicked },
  };
  for ( const auto &[button, slot] : operators )
    connect( button, &QPushButton::clicked, this, slot );
  connect( rasterBandListWidget, &QListWidget::itemDoubleClicked, this,
           &BandMathDialog::rasterBandsListWidgetItemDoubleClicked );
  connect( currentLayerExtentButton, &QPushButton::clicked, this, &BandMathDialog::currentLayerExtentButtonClicked );
  connect( checkButton, &QPushButton::clicked, this, &BandMathDialog::checkExpression );
  connect( clearButton, &QPushButton::clicked, expressionTextEdit, &QTextEdit::clear );
  connect( expressionTextEdit, &QTextEdit::textChanged, this, &BandMathDialog::followExpression );
  connect( applyButton, &QPushButton::clicked, this, &BandMathDialog::apply );
  connect( indexPresetComboBox, qOverload<int>( &QComboBox::activated ), this, &BandMathDialog::applyIndexPreset );
  connect( presetLayerComboBox, qOverload<int>( &QComboBox::activated ), this, &BandMathDialog::applyIndexPreset );
  connect( cancelButton, &QPushButton::clicked, this, &QWidget::close );

  indexPresetComboBox->addItem( QStringLiteral( "Chọn..." ) );
  for ( const IndexPreset &preset : IndexPreset::all() )
  {
    indexPresetComboBox->addItem( preset.name, preset.name );
    indexPresetComboBox->setItemData( indexPresetComboBox->count() - 1, preset.formula, Qt::ToolTipRole );
  }

  fileWidget->setMode( FileWidget::SaveFile );
  fileWidget->setCaption( QStringLiteral( "Lưu ảnh kết quả" ) );
  loadOutputFormats();
}

void BandMathDialog::showEvent( QShowEvent *event )
{
  event->accept();
  loadRasterBands();
}

void BandMathDialog::closeEvent( QCloseEvent *event )
{
  mRun->cancel();
  QDialog::closeEvent( event );
}

void BandMathDialog::insertText( const QString &text )
{
  expressionTextEdit->insertPlainText( text );
}

void BandMathDialog::setExtentFrom( const QgsRasterLayer *layer )
{
  mFillingGrid = true;
  mGridLayerId = layer->id();
  mLayerExtent = layer->extent();
  mExtentCrs = layer->crs();
  xminDoubleSpinBox->setValue( mLayerExtent.xMinimum() );
  yminDoubleSpinBox->setValue( mLayerExtent.yMinimum() );
  xmaxDoubleSpinBox->setValue( mLayerExtent.xMaximum() );
  ymaxDoubleSpinBox->setValue( mLayerExtent.yMaximum() );
  mShownExtent = QgsRectangle( xminDoubleSpinBox->value(), yminDoubleSpinBox->value(), xmaxDoubleSpinBox->value(),
                               ymaxDoubleSpinBox->value(), false );
  columnsSpinBox->setValue( layer->width() );
  rowsSpinBox->setValue( layer->height() );
  mFillingGrid = false;
}

const QgsRasterLayer *BandMathDialog::firstNamedRaster( bool &parsed ) const
{
  QString error;
  const std::unique_ptr<QgsRasterCalcNode> tree(
      QgsRasterCalcNode::parseRasterCalcString( expressionTextEdit->toPlainText(), error ) );
  parsed = tree != nullptr;
  if ( !tree )
    return nullptr;
  // In the order they are written.
  for ( const QString &reference : tree->cleanRasterReferences() )
  {
    for ( const QgsRasterCalculatorEntry &entry : mRasterEntries )
    {
      if ( entry.ref == reference && isOffered( entry ) )
        return entry.raster;
    }
  }
  return nullptr;
}

void BandMathDialog::followExpression()
{
  if ( mGridChosen )
    return;
  bool parsed = false;
  const QgsRasterLayer *layer = firstNamedRaster( parsed );
  // Half-typed expressions leave the fields alone rather than make them jump back and forth.
  if ( !parsed && !expressionTextEdit->toPlainText().trimmed().isEmpty() )
    return;
  if ( !layer )
  {
    const auto first = std::find_if( mRasterEntries.cbegin(), mRasterEntries.cend(), isOffered );
    if ( first == mRasterEntries.cend() )
      return;
    layer = first->raster;
  }
  if ( layer->id() != mGridLayerId )
    setExtentFrom( layer );
}

QgsRectangle BandMathDialog::outputExtent() const
{
  // The fields round to a few decimals; a degree extent rounded that way would
  // put the result a fraction of a pixel off its source's grid.
  const auto exact = []( const QDoubleSpinBox *field, double shown, double layer )
  { return field->value() == shown ? layer : field->value(); };
  return QgsRectangle( exact( xminDoubleSpinBox, mShownExtent.xMinimum(), mLayerExtent.xMinimum() ),
                       exact( yminDoubleSpinBox, mShownExtent.yMinimum(), mLayerExtent.yMinimum() ),
                       exact( xmaxDoubleSpinBox, mShownExtent.xMaximum(), mLayerExtent.xMaximum() ),
                       exact( ymaxDoubleSpinBox, mShownExtent.yMaximum(), mLayerExtent.yMaximum() ), false );
}

void BandMathDialog::loadRasterBands()
{
  mRasterEntries = QgsRasterCalculatorEntry::rasterEntries();
  rasterBandListWidget->clear();
  for ( const QgsRasterCalculatorEntry &entry : qAsConst( mRasterEntries ) )
  {
    if ( !isOffered( entry ) )
      continue;
    // Listed with the band's description ("scene@4 (NIR)"); the reference alone goes into the expression.
    const QString description = PixelValues::bandDescription( entry.raster->dataProvider(), entry.bandNumber );
    auto *item = new QListWidgetItem( description.isEmpty() ? entry.ref
                                                            : QStringLiteral( "%1 (%2)" ).arg( entry.ref, description ),
                                      rasterBandListWidget );
    item->setData( Qt::UserRole, entry.ref );
    item->setToolTip( entry.raster->publicSource() );
  }
  loadPresetLayers();
  followExpression();
}

void BandMathDialog::loadPresetLayers()
{
  const QString chosen = presetLayerComboBox->currentData().toString();
  presetLayerComboBox->clear();
  for ( const QgsRasterCalculatorEntry &entry : qAsConst( mRasterEntries ) )
  {
    if ( isOffered( entry ) && presetLayerComboBox->findData( entry.raster->id() ) < 0 )
      presetLayerComboBox->addItem( entry.raster->name(), entry.raster->id() );
  }
  const int index = presetLayerComboBox->findData( chosen );
  if ( index >= 0 )
    presetLayerComboBox->setCurrentIndex( index );
}

int BandMathDialog::askForBand( const QgsRasterLayer *layer, const QString &preset, const QString &role )
{
  QStringList bands;
  for ( int band = 1; band <= layer->bandCount(); ++band )
    bands << PixelValues::bandLabel( band, PixelValues::bandDescription( layer->dataProvider(), band ) );
  QInputDialog ask( this );
  ask.setWindowTitle( preset );
  ask.setLabelText( QStringLiteral( "Ảnh %1 không có kênh nào được nhận là kênh %2.\nChọn kênh dùng làm kênh %2:" )
                        .arg( layer->name(), role ) );
  ask.setComboBoxItems( bands );
  ask.setOkButtonText( QStringLiteral( "Đồng ý" ) );
  ask.setCancelButtonText( QStringLiteral( "Hủy" ) );
  return ask.exec() == QDialog::Accepted ? static_cast<int>( bands.indexOf( ask.textValue() ) ) + 1 : 0;
}

void BandMathDialog::applyIndexPreset()
{
  const IndexPreset *preset = IndexPreset::named( indexPresetComboBox->currentData().toString() );
  const auto *layer = qobject_cast<QgsRasterLayer *>(
      QgsProject::instance()->mapLayer( presetLayerComboBox->currentData().toString() ) );
  if ( !preset || !layer || !layer->dataProvider() )
    return;
  const QVector<SpectralMetadata::Band> bands = SpectralMetadata::read( layer->source() ).bands;
  QMap<IndexPreset::Role, int> chosen;
  for ( IndexPreset::Role role : preset->roles() )
  {
    int band = IndexPreset::bandFor( role, bands );
    if ( band == 0 )
      band = askForBand( layer, preset->name, IndexPreset::roleName( role ) );
    if ( band == 0 )
    {
      noticeLabel->setText( Utils::errorText(
          QStringLiteral( "Chưa chọn kênh %1 cho %2" ).arg( IndexPreset::roleName( role ), preset->name ) ) );
      return;
    }
    chosen.insert( role, band );
  }
  mPresetName = preset->name;
  mPresetExpression = preset->expression( layer->name(), chosen );
  expressionTextEdit->setPlainText( mPresetExpression );
  noticeLabel->clear();
}

void BandMathDialog::rasterBandsListWidgetItemDoubleClicked( QListWidgetItem *item )
{
  QString reference = item->data( Qt::UserRole ).toString();
  reference.replace( QLatin1Char( '"' ), QStringLiteral( "\\\"" ) );
  insertText( QLatin1Char( '"' ) + reference + QLatin1Char( '"' ) );
}

void BandMathDialog::currentLayerExtentButtonClicked()
{
  const QListWidgetItem *item = rasterBandListWidget->currentItem();
  if ( !item )
    return;
  for ( const QgsRasterCalculatorEntry &entry : qAsConst( mRasterEntries ) )
  {
    if ( entry.ref == item->data( Qt::UserRole ).toString() && entry.raster )
    {
      setExtentFrom( entry.raster );
      mGridChosen = true;
      return;
    }
  }
}

bool BandMathDialog::isExpressionValid() const
{
  return BandMath::isValidExpression( expressionTextEdit->toPlainText() );
}

void BandMathDialog::checkExpression()
{
  noticeLabel->setText( isExpressionValid() ? Utils::successText( QStringLiteral( "Biểu thức hợp lệ" ) )
                                            : Utils::errorText( QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) ) );
}

void BandMathDialog::loadOutputFormats()
{
  for ( const RasterFormats::Format &format : RasterFormats::writable() )
  {
    formatComboBox->addItem( format.longName, format.shortName );
    mDriverExtensions.insert( format.shortName, format.extension );
  }
  const QString remembered = Utils::readSetting( Utils::Keys::bandMathFormat, QStringLiteral( "GeoTIFF" ) ).toString();
  const int index = formatComboBox->findData( remembered, Qt::DisplayRole, Qt::MatchExactly | Qt::MatchCaseSensitive );
  if ( index >= 0 )
    formatComboBox->setCurrentIndex( index );
}

QString BandMathDialog::outputFileName() const
{
  const QString path = fileWidget->filePath();
  if ( formatComboBox->currentIndex() < 0 )
    return path;
  return OutputName::withExtension( path, mDriverExtensions.value( formatComboBox->currentData().toString() ) );
}

void BandMathDialog::apply()
{
  if ( !Utils::isWritablePath( fileWidget->filePath() ) )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Đường dẫn ảnh kết quả KHÔNG khả dụng" ) ) );
    return;
  }
  if ( !isExpressionValid() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) ) );
    return;
  }

  BandMath::Request request;
  request.expression = expressionTextEdit->toPlainText();
  request.outputFile = outputFileName();
  request.driver = formatComboBox->currentIndex() < 0 ? QString() : formatComboBox->currentData().toString();
  if ( request.expression == mPresetExpression )
    request.description = mPresetName;
  request.compression = compressionComboBox->compression();
  request.grid = { outputExtent(), columnsSpinBox->value(), rowsSpinBox->value(), mExtentCrs };
  const ProcessingResult prepared = BandMath::prepare( request, QgsRasterCalculatorEntry::rasterEntries(),
                                                       QgsProject::instance()->transformContext() );
  if ( !prepared.done() )
  {
    showResult( prepared, request.outputFile );
    return;
  }

  auto result = std::make_shared<ProcessingResult>( ProcessingResult::cancelled() );
  const QString outputFile = request.outputFile;
  mRun->start(
      QStringLiteral( "Tính toán kênh ảnh" ),
      [request = std::move( request ), result]( QgsFeedback *feedback )
      { *result = BandMath::run( request, feedback ); },
      [this, result, outputFile] { showResult( *result, outputFile ); } );
}

void BandMathDialog::showResult( const ProcessingResult &result, const QString &outputFile )
{
  using Status = ProcessingResult::Status;
  if ( !result.done() )
  {
    const QMap<Status, QString> failures = {
        { Status::WriteFailed, QStringLiteral( "Lỗi không thể ghi file kết quả" ) },
        { Status::ReadFailed, QStringLiteral( "Lỗi không đọc được kênh ảnh" ) },
        { Status::Cancelled, QStringLiteral( "Đã hủy tính toán kênh ảnh" ) },
        { Status::InvalidExpression, QStringLiteral( "Lỗi biểu thức không hợp lệ" ) },
        { Status::OutOfMemory, QStringLiteral( "Lỗi tràn bộ nhớ" ) },
        { Status::InvalidBand, QStringLiteral( "Lỗi kênh ảnh không hợp lệ" ) },
        { Status::CalculationFailed, QStringLiteral( "Lỗi trong quá trình tính toán kênh ảnh" ) },
        { Status::Failed, QStringLiteral( "Lỗi trong quá trình tính toán kênh ảnh" ) },
    };
    if ( result.isFailure() )
      qCritical().noquote() << "Band math:" << result.reason;
    noticeLabel->setText( Utils::errorText( failures.value( result.status ), result.reason ) );
    return;
  }

  mRun->finish( { outputFile }, noticeLabel, QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ), this );
  if ( autoOpenCheckBox->isChecked() )
    emit complete( outputFile );
}
