#pragma once

#include "Processing/BandMath.h"

#include <atomic>
#include <memory>
#include <vector>

class BandReader;
class OrderedStripWriter;
class QgsRasterCalcNode;

/**
 * One band math run: worker threads evaluate strips of rows with QGIS's
 * calculator tree, each reading through its own providers, while the calling
 * thread writes the finished strips in order.
 */
class BandMathEngine
{
  public:
    BandMathEngine( const BandMath::Request &request, QgsFeedback *feedback );
    ~BandMathEngine();
    BandMathEngine( const BandMathEngine & ) = delete;
    BandMathEngine &operator=( const BandMathEngine & ) = delete;

    ProcessingResult run();

  private:
    void work( int worker, OrderedStripWriter &writer );
    //! The strip's result as Float32, no-data where any input has no value.
    ProcessingResult computeStrip( int worker, const QgsRasterCalcNode &tree, int strip, std::vector<float> &values );

    const BandMath::Request &mRequest;
    const RasterGrid &mGrid;
    QgsFeedback *mFeedback = nullptr;
    int mStripRows = 1;
    int mStripCount = 0;
    int mWorkers = 1;
    std::vector<std::unique_ptr<BandReader>> mReaders;
    std::atomic<int> mNextStrip{ 0 };
};
