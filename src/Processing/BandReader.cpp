#include "Processing/BandReader.h"

#include <gdal.h>
#include <qgsexception.h>
#include <qgsrasterblock.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterprojector.h>

#include <algorithm>
#include <cmath>

namespace
{
bool isWhole( double value )
{
  return std::abs( value - std::round( value ) ) < 1e-6;
}
} // namespace

BandReader::Coverage BandReader::coverage( const RasterGrid &grid, const QgsRectangle &extent )
{
  Coverage covered{ 0, grid.height, 0, grid.width };
  if ( grid.width <= 0 || grid.height <= 0 )
    return covered;
  const double xRes = grid.pixelWidth();
  const double yRes = grid.pixelHeight();
  // The first column, or row, whose pixel centre lies at or beyond \a edge.
  const auto firstAt = []( double edge, double origin, double step, int count )
  { return static_cast<int>( std::clamp( std::ceil( ( edge - origin ) / step - 0.5 ), 0.0, double( count ) ) ); };
  covered.firstColumn = firstAt( extent.xMinimum(), grid.extent.xMinimum(), xRes, grid.width );
  covered.endColumn = firstAt( extent.xMaximum(), grid.extent.xMinimum(), xRes, grid.width );
  covered.firstRow = firstAt( grid.extent.yMaximum() - extent.yMaximum(), 0, yRes, grid.height );
  covered.endRow = firstAt( grid.extent.yMaximum() - extent.yMinimum(), 0, yRes, grid.height );
  covered.endColumn = std::max( covered.endColumn, covered.firstColumn );
  covered.endRow = std::max( covered.endRow, covered.firstRow );
  return covered;
}

bool BandReader::isAligned( const RasterGrid &grid, const QgsRectangle &extent, int xSize, int ySize )
{
  if ( xSize <= 0 || ySize <= 0 || grid.width <= 0 || grid.height <= 0 )
    return false;
  const double xRes = grid.pixelWidth();
  const double yRes = grid.pixelHeight();
  return std::abs( extent.width() / xSize - xRes ) <= xRes * 1e-9 &&
         std::abs( extent.height() / ySize - yRes ) <= yRes * 1e-9 &&
         isWhole( ( extent.xMinimum() - grid.extent.xMinimum() ) / xRes ) &&
         isWhole( ( grid.extent.yMaximum() - extent.yMaximum() ) / yRes );
}

BandReader::BandReader( const BandMath::Input &input, const RasterGrid &grid,
                        const QgsCoordinateTransformContext &context, int workers )
    : mInput( input )
    , mGrid( grid )
    , mContext( context )
    , mCoverage{ 0, grid.height, 0, grid.width }
    , mDatasets( static_cast<std::size_t>( std::max( workers, 1 ) ) )
{
  if ( input.crs != grid.crs || input.providers.isEmpty() )
    return;
  const QgsRasterDataProvider *provider = input.providers.constFirst().get();
  mCoverage = coverage( grid, provider->extent() );
  mAligned = isAligned( grid, provider->extent(), provider->xSize(), provider->ySize() );
  mDirect = mAligned && readsLikeItsProvider();
}

BandReader::~BandReader() = default;

bool BandReader::readsLikeItsProvider() const
{
  const QgsRasterDataProvider *provider = mInput.providers.constFirst().get();
  const int band = mInput.band;
  // Anything the provider does to the values beyond reading them keeps its own path.
  return provider->name() == QLatin1String( "gdal" ) && !provider->dataSourceUri().contains( QLatin1Char( '|' ) ) &&
         provider->dataType( band ) == provider->sourceDataType( band ) && provider->bandScale( band ) == 1 &&
         provider->bandOffset( band ) == 0 && provider->userNoDataValues( band ).isEmpty();
}

std::unique_ptr<QgsRasterBlock> BandReader::readDirectly( int worker, int firstRow, int rows )
{
  QgsRasterDataProvider *provider = mInput.providers.at( worker ).get();
  std::shared_ptr<void> &dataset = mDatasets[static_cast<std::size_t>( worker )];
  if ( !dataset )
  {
    CPLPushErrorHandler( CPLQuietErrorHandler );
    GDALDatasetH opened = GDALOpenEx( provider->dataSourceUri().toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                      nullptr, nullptr, nullptr );
    CPLPopErrorHandler();
    if ( !opened )
      return nullptr;
    dataset.reset( opened, []( void *handle ) { GDALClose( handle ); } );
  }
  if ( mInput.band > GDALGetRasterCount( dataset.get() ) )
    return nullptr;
  GDALRasterBandH band = GDALGetRasterBand( dataset.get(), mInput.band );
  const QgsRectangle extent = provider->extent();
  const int column =
      static_cast<int>( std::lround( ( mGrid.extent.xMinimum() - extent.xMinimum() ) / mGrid.pixelWidth() ) );
  const int row =
      static_cast<int>( std::lround( ( extent.yMaximum() - mGrid.extent.yMaximum() ) / mGrid.pixelHeight() ) ) +
      firstRow;
  if ( column < 0 || row < 0 || column + mGrid.width > GDALGetRasterBandXSize( band ) ||
       row + rows > GDALGetRasterBandYSize( band ) )
    return nullptr;
  const Qgis::DataType type = provider->dataType( mInput.band );
  if ( static_cast<int>( type ) != static_cast<int>( GDALGetRasterDataType( band ) ) )
    return nullptr;
  auto block = std::make_unique<QgsRasterBlock>( type, mGrid.width, rows );
  if ( !block->isValid() || GDALRasterIO( band, GF_Read, column, row, mGrid.width, rows, block->bits(), mGrid.width,
                                          rows, GDALGetRasterDataType( band ), 0, 0 ) != CE_None )
    return nullptr;
  if ( provider->sourceHasNoDataValue( mInput.band ) && provider->useSourceNoDataValue( mInput.band ) )
    block->setNoDataValue( provider->sourceNoDataValue( mInput.band ) );
  return block;
}

std::unique_ptr<QgsRasterBlock> BandReader::readRow( int worker, int row )
{
  QgsRasterDataProvider *provider = mInput.providers.at( worker ).get();
  const QgsRectangle extent = mGrid.stripExtent( row, 1 );
  if ( mInput.crs == mGrid.crs )
    return std::unique_ptr<QgsRasterBlock>( provider->block( mInput.band, extent, mGrid.width, 1 ) );
  try
  {
    QgsRasterProjector projector;
    projector.setCrs( mInput.crs, mGrid.crs, mContext );
    projector.setInput( provider );
    projector.setPrecision( QgsRasterProjector::Exact );
    return std::unique_ptr<QgsRasterBlock>( projector.block( mInput.band, extent, mGrid.width, 1 ) );
  }
  catch ( const QgsCsException & )
  {
    return nullptr;
  }
}

std::unique_ptr<QgsRasterBlock> BandReader::read( int worker, int firstRow, int rows )
{
  if ( mDirect )
  {
    // QGIS's provider costs several times the reading itself; its values are the same.
    if ( std::unique_ptr<QgsRasterBlock> block = readDirectly( worker, firstRow, rows ) )
      return block;
  }
  if ( mAligned )
    return std::unique_ptr<QgsRasterBlock>(
        mInput.providers.at( worker )->block( mInput.band, mGrid.stripExtent( firstRow, rows ), mGrid.width, rows ) );
  // Resampled and reprojected rows are read one by one, exactly as the calculator reads
  // them; a strip-sized request would choose its source pixels slightly differently.
  // No-data goes in the bitmap only, so it survives whatever the rows declare.
  auto strip = std::make_unique<QgsRasterBlock>( Qgis::DataType::Float64, mGrid.width, rows );
  for ( int r = 0; r < rows; ++r )
  {
    const std::unique_ptr<QgsRasterBlock> row = readRow( worker, firstRow + r );
    const bool usable = row && row->isValid() && row->width() == mGrid.width && row->height() == 1;
    if ( !usable )
      ++mFailedRows;
    for ( int column = 0; column < mGrid.width; ++column )
    {
      bool noData = true;
      const double value = usable ? row->valueAndNoData( 0, column, noData ) : 0;
      strip->setValue( r, column, value );
      if ( noData )
        strip->setIsNoData( r, column );
    }
  }
  return strip;
}
