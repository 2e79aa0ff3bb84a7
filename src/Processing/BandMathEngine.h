#pragma once

#include "Processing/BandMath.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

class QgsRasterBlock;
class QgsRasterCalcNode;

/**
 * One band math run: worker threads evaluate strips of rows with QGIS's
 * calculator tree, each reading through its own providers, while the calling
 * thread writes the finished strips in order. Only a few strips are in
 * flight at once, so memory stays bounded whatever the image size.
 */
class BandMathEngine
{
  public:
    BandMathEngine( const BandMath::Request &request, QgsFeedback *feedback );
    BandMathEngine( const BandMathEngine & ) = delete;
    BandMathEngine &operator=( const BandMathEngine & ) = delete;

    QgsRasterCalculator::Result run();

  private:
    //! The output rows and columns whose pixel centres lie inside an input.
    struct Coverage
    {
        int firstRow = 0;
        int endRow = 0;
        int firstColumn = 0;
        int endColumn = 0;
    };

    void work( int worker );
    Coverage coverage( const BandMath::Input &input ) const;
    //! The strip's result as Float32, no-data where any input has no value.
    QgsRasterCalculator::Result computeStrip( int worker, const QgsRasterCalcNode &tree, int strip,
                                              std::vector<float> &values );
    //! Band \a input of rows [firstRow, firstRow + rows) on the output grid.
    std::unique_ptr<QgsRasterBlock> readStrip( int worker, int input, int firstRow, int rows );
    /**
     * The strip read straight through GDAL where the input's band lies on the
     * output grid and covers the strip, with the values the provider would
     * give; null where that does not hold, so the provider reads instead.
     */
    std::unique_ptr<QgsRasterBlock> readDirectly( int worker, int input, int firstRow, int rows );
    //! Whether an input's band can be read straight through GDAL with the provider's values.
    bool readsLikeItsProvider( const BandMath::Input &input ) const;
    //! Row \a row on the output grid, as the calculator reads it; null where the transform failed.
    std::unique_ptr<QgsRasterBlock> readRow( int worker, int input, int row );
    QgsRectangle rowsExtent( int firstRow, int rows ) const;
    bool isAligned( const BandMath::Input &input ) const;
    bool stopped() const;
    void fail( QgsRasterCalculator::Result result );

    const BandMath::Request &mRequest;
    QgsFeedback *mFeedback = nullptr;
    int mStripRows = 1;
    int mStripCount = 0;
    int mWorkers = 1;
    std::vector<bool> mAligned;
    std::vector<bool> mDirect;
    //! Each worker's own GDAL datasets of the inputs read directly, opened when first needed.
    std::vector<std::vector<std::shared_ptr<void>>> mDatasets;
    std::vector<Coverage> mCoverage;
    //! Rows of each input whose reprojection failed.
    std::vector<std::atomic<int>> mFailedRows;

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::map<int, std::vector<float>> mDone;
    std::atomic<int> mNextStrip{ 0 };
    int mWritten = 0;
    std::atomic<int> mFailure{ QgsRasterCalculator::Success };
};
