#include "Tools/ColorCompositeDialog.h"

#include "Processing/PixelValues.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Tools/RasterStyle.h"

#include <QShowEvent>

#include <qgsmultibandcolorrenderer.h>
#include <qgsrasterlayer.h>

ColorCompositeDialog::ColorCompositeDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  mapLayerComboBox->setMapCanvas( MainWindow::mapCanvas() );
  mapLayerComboBox->setLayerType( QgsMapLayerType::RasterLayer );

  connect( mapLayerComboBox, &MapLayerComboBox::currentLayerChanged, this, &ColorCompositeDialog::currentLayerChanged );
  connect( defaultButton, &QPushButton::clicked, this, &ColorCompositeDialog::defaultSettings );
  connect( applyButton, &QPushButton::clicked, this, &ColorCompositeDialog::apply );
  connect( applyButton, &QPushButton::clicked, this, &QWidget::close );
  connect( cancelButton, &QPushButton::clicked, this, &QWidget::close );
}

void ColorCompositeDialog::showEvent( QShowEvent *event )
{
  event->accept();
  mapLayerComboBox->refresh();
  mapLayerComboBox->setLayerSelectedIn( MainWindow::layerTreeView() );
}

void ColorCompositeDialog::currentLayerChanged( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayer );
  if ( !layer || !layer->isValid() )
    return;

  QComboBox *combos[] = { redBandComboBox, greenBandComboBox, blueBandComboBox };
  for ( QComboBox *combo : combos )
  {
    combo->clear();
    combo->addItem( QString(), -1 );
  }
  const auto *renderer = dynamic_cast<const QgsMultiBandColorRenderer *>( layer->renderer() );
  if ( !renderer )
    return;

  const int bandCount = layer->bandCount();
  const QIcon bandIcon = Utils::icon( QStringLiteral( "Band.svg" ) );
  for ( int band = 1; band <= bandCount; ++band )
  {
    const QString description = PixelValues::bandDescription( layer->dataProvider(), band );
    const QString text = description.isEmpty() ? QStringLiteral( "Kênh %1" ).arg( band )
                                               : QStringLiteral( "Kênh %1 (%2)" ).arg( band ).arg( description );
    for ( QComboBox *combo : combos )
      combo->addItem( bandIcon, text, band );
  }
  const int shown[] = { renderer->redBand(), renderer->greenBand(), renderer->blueBand() };
  for ( int i = 0; i < 3; ++i )
    combos[i]->setCurrentIndex( shown[i] >= 1 && shown[i] <= bandCount ? shown[i] : 0 );

  checkLimits( renderer->minMaxOrigin().limits() );
  saveBandIndexesCheckBox->setEnabled( bandCount >= 3 );
}

void ColorCompositeDialog::apply()
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() );
  if ( !layer || !layer->isValid() )
    return;

  const auto bandOf = []( const QComboBox *combo )
  { return combo->currentIndex() < 0 ? 0 : combo->currentData().toInt(); };
  const int red = bandOf( redBandComboBox );
  const int green = bandOf( greenBandComboBox );
  const int blue = bandOf( blueBandComboBox );
  const QgsRasterMinMaxOrigin::Limits limits = chosenLimits();
  RasterStyle::applyComposite( layer, red, green, blue, limits );

  if ( saveBandIndexesCheckBox->isChecked() )
  {
    Utils::writeSetting( Utils::Keys::compositeRed, red );
    Utils::writeSetting( Utils::Keys::compositeGreen, green );
    Utils::writeSetting( Utils::Keys::compositeBlue, blue );
    Utils::writeSetting( Utils::Keys::compositeLimit, static_cast<int>( limits ) );
  }
}

void ColorCompositeDialog::defaultSettings()
{
  redBandComboBox->setCurrentIndex( Utils::readSetting( Utils::Keys::compositeRed, 1 ).toInt() );
  greenBandComboBox->setCurrentIndex( Utils::readSetting( Utils::Keys::compositeGreen, 2 ).toInt() );
  blueBandComboBox->setCurrentIndex( Utils::readSetting( Utils::Keys::compositeBlue, 3 ).toInt() );
  checkLimits( Utils::readSetting( Utils::Keys::compositeLimit, 3 ).toInt() );
}

QgsRasterMinMaxOrigin::Limits ColorCompositeDialog::chosenLimits() const
{
  if ( cumulativeCutRadioButton->isChecked() )
    return QgsRasterMinMaxOrigin::CumulativeCut;
  if ( minMaxRadioButton->isChecked() )
    return QgsRasterMinMaxOrigin::MinMax;
  if ( stdDevRadioButton->isChecked() )
    return QgsRasterMinMaxOrigin::StdDev;
  return QgsRasterMinMaxOrigin::None;
}

void ColorCompositeDialog::checkLimits( int limits )
{
  switch ( limits )
  {
  case QgsRasterMinMaxOrigin::CumulativeCut:
    cumulativeCutRadioButton->setChecked( true );
    break;
  case QgsRasterMinMaxOrigin::MinMax:
    minMaxRadioButton->setChecked( true );
    break;
  case QgsRasterMinMaxOrigin::StdDev:
    stdDevRadioButton->setChecked( true );
    break;
  default:
    noneRadioButton->setChecked( true );
    break;
  }
}
