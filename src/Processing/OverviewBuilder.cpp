#include "Processing/OverviewBuilder.h"

#include "Processing/GdalFailureCounter.h"
#include "Processing/GdalSettings.h"
#include "Processing/SafeOutput.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <cpl_conv.h>
#include <gdal_priv.h>
#include <gdal_rat.h>
#include <qgsfeedback.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace
{
bool exceeds( int width, int height, int threshold )
{
  return threshold >= 0 && std::max( width, height ) > threshold;
}

/**
 * The part of a build's progress until its overviews can be read: on real
 * imagery, compressing them takes about three times as long as computing them.
 */
constexpr double buildingShare = 0.25;

bool isCategorical( GDALRasterBand *band )
{
  if ( band->GetColorTable() || band->GetColorInterpretation() == GCI_PaletteIndex )
    return true;
  const GDALRasterAttributeTable *table = band->GetDefaultRAT();
  return table && table->GetTableType() == GRTT_THEMATIC;
}

//! Averaging classes would invent classes, so one categorical band makes the whole file take the nearest pixel.
bool hasCategoricalBand( GDALDataset &dataset )
{
  for ( int band = 1; band <= dataset.GetRasterCount(); ++band )
    if ( isCategorical( dataset.GetRasterBand( band ) ) )
      return true;
  return false;
}

int CPL_STDCALL report( double complete, const char *, void *data )
{
  auto *feedback = static_cast<QgsFeedback *>( data );
  if ( !feedback )
    return TRUE;
  feedback->setProgress( complete * 100.0 );
  return !feedback->isCanceled();
}

/**
 * GDAL's settings for overviews added inside a file, on this thread only and
 * for as long as it lives.
 */
class BuildSettings
{
  public:
    //! Compression suited to the values of \a dataset; call once it is open.
    void suit( GDALDataset &dataset, bool categorical )
    {
      const GDALDataType type = dataset.GetRasterBand( 1 )->GetRasterDataType();
      if ( categorical || GDALDataTypeIsComplex( type ) )
        return;
      mPredictor.emplace( "PREDICTOR_OVERVIEW", GDALDataTypeIsFloating( type ) ? "3" : "2", false );
    }

  private:
    CPLConfigOptionSetter mCompress{ "COMPRESS_OVERVIEW", "DEFLATE", false };
    // Overviews are read far more often than built: a light level keeps the build quick.
    CPLConfigOptionSetter mLevel{ "ZLEVEL_OVERVIEW", "1", false };
    CPLConfigOptionSetter mBigTiff{ "BIGTIFF_OVERVIEW", "IF_SAFER", false };
    std::optional<CPLConfigOptionSetter> mPredictor;
};

GDALDatasetUniquePtr open( const QString &path, unsigned access )
{
  return GDALDatasetUniquePtr(
      GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER | access, nullptr, nullptr, nullptr ) );
}

//! How an overview file holds its pixels, compressed or not.
CPLStringList overviewFileLayout()
{
  CPLStringList options;
  options.SetNameValue( "TILED", "YES" );
  // Tiles four times the usual size compress a tenth faster, and smaller.
  options.SetNameValue( "BLOCKXSIZE", "512" );
  options.SetNameValue( "BLOCKYSIZE", "512" );
  options.SetNameValue( "INTERLEAVE", "BAND" );
  options.SetNameValue( "BIGTIFF", "IF_SAFER" );
  return options;
}

/**
 * Writes the overviews of \a source at \a factors into a new, uncompressed
 * GeoTIFF at \a path laid out as GDAL's external overview file is: the first
 * level is the image, the others its own overviews. Averaged levels come from
 * one pass over the raster, each computed from the one before, as GDAL
 * computes them.
 */
CPLErr writeOverviewFile( GDALDataset &source, const QString &path, const QVector<int> &factors, const char *resampling,
                          const GdalFailureCounter &failures, GDALProgressFunc progress, void *progressData )
{
  const int bandCount = source.GetRasterCount();
  const CPLStringList options = overviewFileLayout();
  const int factor = factors.first();
  // One type for the file that holds every band's values: a Byte band beside a Float32 one must not be truncated.
  GDALDataType type = source.GetRasterBand( 1 )->GetRasterDataType();
  bool mixedTypes = false;
  for ( int band = 2; band <= bandCount; ++band )
  {
    mixedTypes |= source.GetRasterBand( band )->GetRasterDataType() != type;
    type = GDALDataTypeUnion( type, source.GetRasterBand( band )->GetRasterDataType() );
  }
  GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName( "GTiff" );
  GDALDatasetUniquePtr overviews(
      gtiff->Create( path.toUtf8().constData(), ( source.GetRasterXSize() + factor - 1 ) / factor,
                     ( source.GetRasterYSize() + factor - 1 ) / factor, bandCount, type, options.List() ) );
  if ( !overviews )
    return CE_Failure;
  // With its no-data or alpha band, a level leaves out the holes of the one it is computed from, as in GDAL's own
  // file. Set before the smaller levels exist, so that they carry it too: each is computed from the one before.
  for ( int band = 1; band <= bandCount; ++band )
  {
    GDALRasterBand *from = source.GetRasterBand( band );
    GDALRasterBand *to = overviews->GetRasterBand( band );
    int hasNoData = FALSE;
    const double noData = from->GetNoDataValue( &hasNoData );
    if ( hasNoData )
      to->SetNoDataValue( noData );
    if ( from->GetColorInterpretation() == GCI_AlphaBand )
      to->SetColorInterpretation( GCI_AlphaBand );
    if ( from->GetColorTable() )
      to->SetColorTable( from->GetColorTable() );
  }
  // Only the smaller levels' place in the file: their pixels come with the first level's.
  QVector<int> rest;
  for ( int i = 1; i < factors.size(); ++i )
    rest << factors.at( i ) / factor;
  if ( !rest.isEmpty() && overviews->BuildOverviews( "NONE", rest.size(), rest.constData(), 0, nullptr, nullptr,
                                                     nullptr, nullptr ) != CE_None )
    return CE_Failure;

  std::vector<GDALRasterBand *> sources;
  std::vector<std::vector<GDALRasterBand *>> levels( static_cast<std::size_t>( bandCount ) );
  std::vector<GDALRasterBand **> levelsOfBand;
  for ( int band = 1; band <= bandCount; ++band )
  {
    GDALRasterBand *from = source.GetRasterBand( band );
    GDALRasterBand *to = overviews->GetRasterBand( band );
    sources.push_back( from );
    std::vector<GDALRasterBand *> &ofBand = levels[static_cast<std::size_t>( band - 1 )];
    ofBand.push_back( to );
    for ( int i = 0; i < to->GetOverviewCount(); ++i )
      ofBand.push_back( to->GetOverview( i ) );
    if ( ofBand.size() != static_cast<std::size_t>( factors.size() ) )
      return CE_Failure;
    levelsOfBand.push_back( ofBand.data() );
  }
  CPLErr built = CE_None;
  if ( mixedTypes )
  {
    // GDAL computes bands together only when they share one type.
    for ( int band = 0; band < bandCount && built == CE_None; ++band )
    {
      void *share =
          GDALCreateScaledProgress( double( band ) / bandCount, double( band + 1 ) / bandCount, progress, progressData );
      built = GDALRegenerateOverviews(
          sources[static_cast<std::size_t>( band )], factors.size(),
          reinterpret_cast<GDALRasterBandH *>( levelsOfBand[static_cast<std::size_t>( band )] ), resampling,
          GDALScaledProgress, share );
      GDALDestroyScaledProgress( share );
    }
  }
  else if ( EQUAL( resampling, "NEAREST" ) )
  {
    // GDAL takes the nearest pixel of the raster itself for every level, which differs from a cascade on odd sizes.
    for ( int level = 0; level < factors.size() && built == CE_None; ++level )
    {
      std::vector<GDALRasterBand **> ofLevel;
      for ( GDALRasterBand **ofBand : levelsOfBand )
        ofLevel.push_back( ofBand + level );
      void *share = GDALCreateScaledProgress( double( level ) / factors.size(), double( level + 1 ) / factors.size(),
                                              progress, progressData );
      built = GDALRegenerateOverviewsMultiBand( bandCount, sources.data(), 1, ofLevel.data(), resampling,
                                                GDALScaledProgress, share, nullptr );
      GDALDestroyScaledProgress( share );
    }
  }
  else
    built = GDALRegenerateOverviewsMultiBand( bandCount, sources.data(), factors.size(), levelsOfBand.data(),
                                              resampling, progress, progressData, nullptr );
  // A write that fails while the last blocks are flushed is only reported to the error handler.
  const int failuresBefore = failures.failures();
  overviews.reset();
  return failures.failures() > failuresBefore ? CE_Failure : built;
}

ProcessingResult failed( const QString &reason, const GdalFailureCounter &failures,
                         ProcessingResult::Status status = ProcessingResult::Status::Failed )
{
  return ProcessingResult::failed(
      failures.lastFailure().isEmpty() ? reason : reason + QStringLiteral( ": " ) + failures.lastFailure(), status );
}

/**
 * Rewrites the uncompressed overview file at \a path DEFLATE-compressed, on
 * every core, and puts it in its place once complete. DEFLATE's lightest
 * level: overviews are read far more often than written, and heavier levels
 * took several times as long for a few percent less.
 */
ProcessingResult compressOverviewFile( const QString &path, const GdalFailureCounter &failures,
                                       GDALProgressFunc progress, void *progressData )
{
  GDALDatasetUniquePtr plain = open( path, GDAL_OF_READONLY );
  if ( !plain )
    return failed( QStringLiteral( "cannot read %1" ).arg( path ), failures, ProcessingResult::Status::ReadFailed );
  CPLStringList options = overviewFileLayout();
  options.SetNameValue( "COMPRESS", "DEFLATE" );
  options.SetNameValue( "ZLEVEL", "1" );
  options.SetNameValue( "NUM_THREADS", "ALL_CPUS" );
  options.SetNameValue( "COPY_SRC_OVERVIEWS", "YES" );
  SafeOutput output( path );
  GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName( "GTiff" );
  GDALDatasetUniquePtr compressed( gtiff->CreateCopy( output.temporaryPath().toUtf8().constData(), plain.get(), FALSE,
                                                      options.List(), progress, progressData ) );
  const int failuresBefore = failures.failures();
  const bool written = compressed != nullptr;
  compressed.reset();
  plain.reset();
  if ( !written || failures.failures() > failuresBefore )
    return failed( QStringLiteral( "%1 stays uncompressed" ).arg( path ), failures, ProcessingResult::Status::WriteFailed );
  return output.commit();
}

//! The external file that holds \a dataset's overviews now, if any.
QString overviewFileOf( GDALDataset &dataset )
{
  QString found;
  char **files = dataset.GetFileList();
  for ( char **file = files; file && *file; ++file )
  {
    const QString name = QString::fromUtf8( *file );
    if ( name.endsWith( QLatin1String( ".ovr" ), Qt::CaseInsensitive ) )
      found = QFileInfo( name ).absoluteFilePath();
  }
  CSLDestroy( files );
  return found;
}

//! Where the overviews of a raster go when nothing can be written beside it; empty when GDAL has no such folder.
QString sidecarFolderTarget( const QFileInfo &raster )
{
  const char *folder = CPLGetConfigOption( "GDAL_PAM_PROXY_DIR", nullptr );
  if ( !folder || !*folder )
    return QString();
  // The path's hash keeps files of one name in different folders apart.
  const QByteArray hash =
      QCryptographicHash::hash( raster.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1 ).toHex().left( 12 );
  return QDir( QString::fromUtf8( folder ) )
      .filePath( QStringLiteral( "%1_%2.ovr" ).arg( QString::fromLatin1( hash ), raster.fileName() ) );
}

} // namespace

QVector<int> OverviewBuilder::levels( int width, int height, int smallest )
{
  QVector<int> factors;
  const qint64 larger = std::max( width, height );
  for ( qint64 factor = 1; ( larger + factor - 1 ) / factor > std::max( 1, smallest ); factor *= 2 )
    factors << static_cast<int>( factor * 2 );
  return factors;
}

ProcessingResult OverviewBuilder::build( const Request &request, QgsFeedback *feedback,
                                         const std::function<void()> &ready )
{
  GdalSettings::boundBlockCache();
  const GdalFailureCounter failures;
  const QFileInfo raster( request.file );
  if ( !raster.isFile() )
    return ProcessingResult::failed( QStringLiteral( "%1 is not a file that can take overviews" ).arg( request.file ) );

  GDALDatasetUniquePtr dataset = open( raster.absoluteFilePath(), GDAL_OF_READONLY );
  if ( !dataset || dataset->GetRasterCount() == 0 )
    return failed( QStringLiteral( "cannot read %1" ).arg( request.file ), failures,
                   ProcessingResult::Status::ReadFailed );
  const int width = dataset->GetRasterXSize();
  const int height = dataset->GetRasterYSize();
  const bool hasOverviews = dataset->GetRasterBand( 1 )->GetOverviewCount() > 0;
  if ( !request.rebuild && ( hasOverviews || !exceeds( width, height, request.threshold ) ) )
    return {};
  const QString former = overviewFileOf( *dataset );
  if ( hasOverviews && former.isEmpty() )
    return ProcessingResult::failed( QStringLiteral( "%1 holds overviews of its own" ).arg( request.file ) );
  const QVector<int> factors = levels( width, height, request.smallest );
  if ( factors.isEmpty() )
    return {};

  const bool beside = QFileInfo( raster.absolutePath() ).isWritable();
  const QString target = beside ? raster.absoluteFilePath() + QStringLiteral( ".ovr" ) : sidecarFolderTarget( raster );
  if ( target.isEmpty() )
    return ProcessingResult::failed(
        QStringLiteral( "nothing can be written beside %1 and there is no folder for its overviews" )
            .arg( request.file ) );

  const bool categorical = hasCategoricalBand( *dataset );
  SafeOutput output( target );
  void *building = GDALCreateScaledProgress( 0, buildingShare, report, feedback );
  const CPLErr built = writeOverviewFile( *dataset, output.temporaryPath(), factors,
                                          categorical ? "NEAREST" : "AVERAGE", failures, GDALScaledProgress, building );
  GDALDestroyScaledProgress( building );
  if ( feedback && feedback->isCanceled() )
    return ProcessingResult::cancelled();
  if ( built != CE_None )
    return failed( QStringLiteral( "cannot build the overviews of %1" ).arg( request.file ), failures,
                   ProcessingResult::Status::WriteFailed );
  const ProcessingResult committed = output.commit();
  if ( !committed.done() )
    return committed;
  if ( !beside )
  {
    // Kept in the raster's auxiliary data, which GDAL writes to the same folder since the raster's own is read-only.
    dataset->SetMetadataItem( "OVERVIEW_FILE", target.toUtf8().constData(), "OVERVIEWS" );
  }
  dataset.reset();

  // Only a raster that now opens with these overviews has them: a format may ignore an external file.
  GDALDatasetUniquePtr check = open( raster.absoluteFilePath(), GDAL_OF_READONLY );
  if ( !check || check->GetRasterBand( 1 )->GetOverviewCount() != factors.size() )
  {
    check.reset();
    QFile::remove( target );
    return failed( QStringLiteral( "GDAL does not read overviews beside %1" ).arg( request.file ), failures );
  }
  check.reset();
  if ( ready )
    ready();

  // Stopped or failed from here on, the uncompressed overviews stay: they are complete, only larger.
  void *compressing = GDALCreateScaledProgress( buildingShare, 1, report, feedback );
  const ProcessingResult compressed = compressOverviewFile( target, failures, GDALScaledProgress, compressing );
  GDALDestroyScaledProgress( compressing );
  if ( feedback && feedback->isCanceled() )
    return ProcessingResult::cancelled();
  return compressed;
}

ProcessingResult OverviewBuilder::addToWritten( const QString &path, int threshold, QgsFeedback *feedback )
{
  if ( threshold < 0 )
    return {};
  GdalSettings::boundBlockCache();
  BuildSettings settings;
  const GdalFailureCounter failures;
  // In the file where its format can hold them; opened for reading, GDAL puts them in a file beside it.
  GDALDatasetUniquePtr dataset = open( path, GDAL_OF_UPDATE );
  if ( !dataset )
    dataset = open( path, GDAL_OF_READONLY );
  if ( !dataset || dataset->GetRasterCount() == 0 )
    return {};
  if ( !exceeds( dataset->GetRasterXSize(), dataset->GetRasterYSize(), threshold ) )
    return {};
  const QVector<int> factors = levels( dataset->GetRasterXSize(), dataset->GetRasterYSize() );
  const bool categorical = hasCategoricalBand( *dataset );
  settings.suit( *dataset, categorical );
  CPLErrorReset();
  const CPLErr built =
      GDALBuildOverviewsEx( GDALDataset::ToHandle( dataset.get() ), categorical ? "NEAREST" : "AVERAGE", factors.size(),
                            factors.constData(), 0, nullptr, report, feedback, nullptr );
  if ( feedback && feedback->isCanceled() )
    return ProcessingResult::cancelled();
  // A format without overviews still makes a good result, only a slower one to draw.
  if ( built != CE_None && CPLGetLastErrorNo() == CPLE_NotSupported )
    return {};
  const int failuresBefore = failures.failures();
  dataset.reset();
  if ( built != CE_None || failures.failures() > failuresBefore )
    return failed( QStringLiteral( "cannot build the overviews of %1" ).arg( path ), failures,
                   ProcessingResult::Status::WriteFailed );
  return {};
}

double OverviewBuilder::writingShare( int width, int height, int threshold )
{
  // Overviews read the result once more and write a third of it again.
  return exceeds( width, height, threshold ) ? 75.0 : 100.0;
}
