#include "Tools/BrightnessContrastDialog.h"

#include "Gui/MainWindow.h"
#include "Tools/RasterStyle.h"

#include <QShowEvent>

#include <qgsbrightnesscontrastfilter.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>

BrightnessContrastDialog::BrightnessContrastDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  mapLayerComboBox->setMapCanvas( MainWindow::mapCanvas() );
  mapLayerComboBox->setLayerType( QgsMapLayerType::RasterLayer );

  connect( mapLayerComboBox, &MapLayerComboBox::currentLayerChanged, this,
           &BrightnessContrastDialog::currentLayerChanged );
  connect( applyButton, &QPushButton::clicked, this, &BrightnessContrastDialog::apply );
  connect( applyButton, &QPushButton::clicked, this, &QWidget::close );
  connect( cancelButton, &QPushButton::clicked, this, &QWidget::close );
  connect( brightnessDefaultButton, &QPushButton::clicked, this, [this] { brightnessSlider->setValue( 0 ); } );
  connect( contrastDefaultButton, &QPushButton::clicked, this, [this] { contrastSlider->setValue( 0 ); } );
}

void BrightnessContrastDialog::showEvent( QShowEvent *event )
{
  event->accept();
  mapLayerComboBox->refresh();
  mapLayerComboBox->setLayerSelectedIn( MainWindow::layerTreeView() );
}

void BrightnessContrastDialog::currentLayerChanged( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayer );
  const QgsBrightnessContrastFilter *filter = layer && layer->isValid() ? layer->pipe()->brightnessFilter() : nullptr;
  if ( !filter )
    return;
  brightnessSlider->setValue( filter->brightness() );
  contrastSlider->setValue( filter->contrast() );
}

void BrightnessContrastDialog::apply()
{
  RasterStyle::setBrightnessContrast( qobject_cast<QgsRasterLayer *>( mapLayerComboBox->currentLayer() ),
                                      brightnessSlider->value(), contrastSlider->value() );
}
