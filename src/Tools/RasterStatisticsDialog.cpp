#include "Tools/RasterStatisticsDialog.h"

#include "Core/Utils.h"
#include "Tools/ToolRun.h"

#include <QCloseEvent>
#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <qgsrasterlayer.h>

#include <cmath>
#include <memory>

using namespace QtCharts;

namespace
{
QString numberText( double value )
{
  return std::isnan( value ) ? QString() : Utils::formatNumber( value );
}

// Dims a hidden series' legend entry instead of removing it, so it can be clicked back on.
void toggleSeries( QLegendMarker *marker )
{
  QAbstractSeries *series = marker->series();
  series->setVisible( !series->isVisible() );
  marker->setVisible( true );
  QColor color = marker->labelBrush().color();
  color.setAlphaF( series->isVisible() ? 1.0 : 0.4 );
  marker->setLabelBrush( color );
}
} // namespace

RasterStatisticsDialog::RasterStatisticsDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  histogramChartView->setRenderHint( QPainter::Antialiasing );
  mRun = new ToolRun( progressBar, nullptr, cancelButton, this, ToolRun::Idle::Disabled );
  connect( closeButton, &QPushButton::clicked, this, &QWidget::close );
}

void RasterStatisticsDialog::showLayer( QgsRasterLayer *layer )
{
  mRun->cancel();
  mLayer = layer;
  statisticsTable->setRowCount( 0 );
  replaceChart( new QChart() );
  noticeLabel->clear();
  show();
  if ( !layer || !layer->isValid() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Hãy chọn một raster layer" ) ) );
    return;
  }
  layerLabel->setText( layer->name() );
  // The layer's own GDAL handle may hold estimated statistics it would write over the exact ones when it
  // closes; reopening it now stores those first.
  layer->reload();
  // Open options after "|" are QGIS's own; GDAL reads the dataset name before them.
  const QString source = layer->source().section( QLatin1Char( '|' ), 0, 0 );
  // A task cancelled before it starts reports without running.
  auto result = std::make_shared<ProcessingResult>( ProcessingResult::cancelled() );
  auto statistics = std::make_shared<RasterStatistics>();
  mRun->start(
      QStringLiteral( "Thống kê raster" ),
      [source, result, statistics]( QgsFeedback *feedback ) { *result = statistics->compute( source, feedback ); },
      [this, result, statistics] { showResult( *result, statistics->bands() ); } );
}

void RasterStatisticsDialog::closeEvent( QCloseEvent *event )
{
  mRun->cancel();
  event->accept();
}

void RasterStatisticsDialog::showResult( const ProcessingResult &result, const QVector<RasterStatistics::Band> &bands )
{
  if ( result.status == ProcessingResult::Status::Cancelled )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Đã hủy tính thống kê" ) ) );
    return;
  }
  if ( !result.done() )
  {
    qCritical().noquote() << "Statistics:" << result.reason;
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Không tính được thống kê: %1" ).arg( result.reason ) ) );
    return;
  }
  progressBar->setValue( 100 );
  statisticsTable->setRowCount( bands.size() );
  for ( int row = 0; row < bands.size(); ++row )
  {
    const RasterStatistics::Band &band = bands.at( row );
    const QStringList cells{ QStringLiteral( "Kênh %1" ).arg( band.number ),
                             numberText( band.minimum ),
                             numberText( band.maximum ),
                             numberText( band.mean ),
                             numberText( band.stdDev ),
                             QString::number( band.validCount ) };
    for ( int column = 0; column < cells.size(); ++column )
    {
      auto *item = new QTableWidgetItem( cells.at( column ) );
      if ( column > 0 )
        item->setTextAlignment( Qt::AlignRight | Qt::AlignVCenter );
      statisticsTable->setItem( row, column, item );
    }
  }
  statisticsTable->resizeColumnsToContents();
  showHistogram( bands );
  // Reopened, the layer reads the exact statistics, so its properties show them.
  if ( mLayer )
    mLayer->reload();
}

void RasterStatisticsDialog::showHistogram( const QVector<RasterStatistics::Band> &bands )
{
  auto *chart = new QChart();
  chart->legend()->setAlignment( Qt::AlignBottom );
  auto *valueAxis = new QValueAxis( chart );
  auto *countAxis = new QValueAxis( chart );
  valueAxis->setTitleText( QStringLiteral( "Giá trị" ) );
  countAxis->setTitleText( QStringLiteral( "Số điểm ảnh" ) );
  countAxis->setLabelFormat( QStringLiteral( "%.0f" ) );
  chart->addAxis( valueAxis, Qt::AlignBottom );
  chart->addAxis( countAxis, Qt::AlignLeft );

  double lowest = 0, highest = 1;
  qint64 tallest = 1;
  bool first = true;
  for ( const RasterStatistics::Band &band : bands )
  {
    if ( band.histogram.isEmpty() )
      continue;
    auto *series = new QLineSeries( chart );
    series->setName( QStringLiteral( "Kênh %1" ).arg( band.number ) );
    const double width = ( band.histogramMaximum - band.histogramMinimum ) / band.histogram.size();
    for ( int i = 0; i < band.histogram.size(); ++i )
    {
      series->append( band.histogramMinimum + ( i + 0.5 ) * width, band.histogram.at( i ) );
      tallest = std::max( tallest, band.histogram.at( i ) );
    }
    lowest = first ? band.histogramMinimum : std::min( lowest, band.histogramMinimum );
    highest = first ? band.histogramMaximum : std::max( highest, band.histogramMaximum );
    first = false;
    chart->addSeries( series );
    series->attachAxis( valueAxis );
    series->attachAxis( countAxis );
  }
  valueAxis->setRange( lowest, highest );
  countAxis->setRange( 0, tallest * 1.05 );
  for ( QLegendMarker *marker : chart->legend()->markers() )
    connect( marker, &QLegendMarker::clicked, marker, [marker] { toggleSeries( marker ); } );
  replaceChart( chart );
}

void RasterStatisticsDialog::replaceChart( QChart *chart )
{
  // The view gives up the old chart without deleting it.
  QChart *old = histogramChartView->chart();
  histogramChartView->setChart( chart );
  delete old;
}
