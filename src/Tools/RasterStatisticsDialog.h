#pragma once

#include "Processing/ProcessingResult.h"
#include "Processing/RasterStatistics.h"
#include "ui_RasterStatisticsDialog.h"

#include <QDialog>
#include <QPointer>

class QgsRasterLayer;
class ToolRun;
namespace QtCharts
{
class QChart;
}

/**
 * Shows the exact statistics of every band of a raster layer in a table and
 * their histograms in a chart, computed in the background.
 */
class RasterStatisticsDialog : public QDialog, private Ui::RasterStatisticsDialog
{
    Q_OBJECT

  public:
    explicit RasterStatisticsDialog( QWidget *parent );

    //! Shows the dialog and starts computing the statistics of \a layer.
    void showLayer( QgsRasterLayer *layer );

  protected:
    void closeEvent( QCloseEvent *event ) override;

  private:
    void showResult( const ProcessingResult &result, const QVector<RasterStatistics::Band> &bands );
    void showHistogram( const QVector<RasterStatistics::Band> &bands );
    void replaceChart( QtCharts::QChart *chart );

    ToolRun *mRun = nullptr;
    QPointer<QgsRasterLayer> mLayer;
};
