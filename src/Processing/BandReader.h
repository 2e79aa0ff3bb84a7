#pragma once

#include "Processing/BandMath.h"
#include "Processing/RasterGrid.h"

#include <atomic>
#include <memory>
#include <vector>

class QgsRasterBlock;

/**
 * Reads one band that an expression names onto the output grid, strip by
 * strip, each worker through its own provider: straight through GDAL where the
 * band lies on the grid and the provider would change nothing, else through
 * the provider, and row by row through QGIS's projector where it must be
 * resampled or reprojected, exactly as QgsRasterCalculator reads it.
 */
class BandReader
{
  public:
    //! The output rows and columns whose pixel centres lie inside an input.
    struct Coverage
    {
        int firstRow = 0;
        int endRow = 0;
        int firstColumn = 0;
        int endColumn = 0;

        bool operator==( const Coverage &other ) const
        {
          return firstRow == other.firstRow && endRow == other.endRow && firstColumn == other.firstColumn &&
                 endColumn == other.endColumn;
        }
    };

    //! The part of \a grid whose pixel centres lie inside \a extent, given in the grid's CRS.
    static Coverage coverage( const RasterGrid &grid, const QgsRectangle &extent );

    //! Whether pixels of size \a xSize × \a ySize over \a extent fall exactly on the pixels of \a grid.
    static bool isAligned( const RasterGrid &grid, const QgsRectangle &extent, int xSize, int ySize );

    BandReader( const BandMath::Input &input, const RasterGrid &grid, const QgsCoordinateTransformContext &context,
                int workers );
    ~BandReader();
    BandReader( const BandReader & ) = delete;
    BandReader &operator=( const BandReader & ) = delete;

    /**
     * Where the input has values: all of the grid for an input in another CRS,
     * which marks what it does not reach itself, through the projector.
     */
    const Coverage &coverage() const { return mCoverage; }

    //! Band rows [firstRow, firstRow + rows) on the output grid, read by \a worker; null when reading failed.
    std::unique_ptr<QgsRasterBlock> read( int worker, int firstRow, int rows );

    //! Whether no row could be put on the grid: the input cannot be reprojected anywhere on it.
    bool failedEverywhere() const { return mFailedRows == mGrid.height; }

  private:
    std::unique_ptr<QgsRasterBlock> readDirectly( int worker, int firstRow, int rows );
    std::unique_ptr<QgsRasterBlock> readRow( int worker, int row );
    bool readsLikeItsProvider() const;

    const BandMath::Input &mInput;
    const RasterGrid &mGrid;
    const QgsCoordinateTransformContext &mContext;
    bool mAligned = false;
    bool mDirect = false;
    Coverage mCoverage;
    //! Each worker's own GDAL dataset of a band read directly, opened when first needed.
    std::vector<std::shared_ptr<void>> mDatasets;
    //! Rows whose reprojection failed.
    std::atomic<int> mFailedRows{ 0 };
};
