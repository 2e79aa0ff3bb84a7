#include "Widgets/WriterFormatComboBox.h"

#include "Processing/OutputName.h"
#include "Processing/RasterFormats.h"

#include <QComboBox>
#include <QHBoxLayout>

#include <algorithm>

namespace
{
QStringList filtersOf( const QList<QgsRasterFileWriter::FilterFormatDetails> &formats )
{
  QStringList filters;
  for ( const auto &format : formats )
    filters << format.filterString;
  return filters;
}

QStringList filtersOf( const QList<QgsVectorFileWriter::FilterFormatDetails> &formats )
{
  QStringList filters;
  for ( const auto &format : formats )
    filters << format.filterString;
  return filters;
}
} // namespace

WriterFormatComboBox::WriterFormatComboBox( QWidget *parent )
    : QWidget( parent )
    , mComboBox( new QComboBox( this ) )
    , mRasterFormats( QgsRasterFileWriter::supportedFiltersAndFormats( QgsRasterFileWriter::SortRecommended ) )
    , mVectorFormats( QgsVectorFileWriter::supportedFiltersAndFormats( QgsVectorFileWriter::SortRecommended ) )
{
  // QGIS lists only drivers with a file extension; ENVI, a staple of image
  // analysis, has none but writes files all the same.
  for ( const RasterFormats::Format &format : RasterFormats::writable() )
  {
    const bool listed = std::any_of( mRasterFormats.cbegin(), mRasterFormats.cend(),
                                     [&format]( const auto &known ) { return known.driverName == format.shortName; } );
    if ( !listed && format.extension.isEmpty() )
      mRasterFormats.append( { format.shortName, format.longName + QStringLiteral( " (*)" ) } );
  }
  auto *layout = new QHBoxLayout( this );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mComboBox );
  setFocusProxy( mComboBox );
}

void WriterFormatComboBox::setLayerType( int type )
{
  mLayerType = type;
}

void WriterFormatComboBox::refresh()
{
  mComboBox->clear();
  if ( mLayerType == 0 )
  {
    for ( const auto &format : mRasterFormats )
      mComboBox->addItem( format.filterString, format.driverName );
  }
  else if ( mLayerType == 1 )
  {
    for ( const auto &format : mVectorFormats )
      mComboBox->addItem( format.filterString, format.driverName );
  }
}

QString WriterFormatComboBox::currentExtension() const
{
  if ( mComboBox->currentIndex() < 0 )
    return QString();
  const QString filter = mComboBox->currentText();
  const QStringList known = mLayerType == 0   ? filtersOf( mRasterFormats )
                            : mLayerType == 1 ? filtersOf( mVectorFormats )
                                              : QStringList();
  if ( !known.contains( filter ) )
    return QString();
  // "GeoTIFF (*.tif *.TIF *.tiff)": the first glob without its "*.".
  const int open = filter.lastIndexOf( QLatin1Char( '(' ) );
  const int close = filter.lastIndexOf( QLatin1Char( ')' ) );
  if ( open < 0 || close <= open )
    return QString();
  const QString firstGlob = filter.mid( open + 1, close - open - 1 ).split( QLatin1Char( ' ' ) ).constFirst();
  const QString extension = firstGlob.mid( 2 ).toLower();
  // Drivers without one extension (ENVI, COG) list "*.*" or the like; GDAL knows what they take.
  if ( !firstGlob.startsWith( QLatin1String( "*." ) ) || extension.contains( QLatin1Char( '*' ) ) )
    return OutputName::extensionOf( currentDriverName() );
  return extension;
}

QString WriterFormatComboBox::currentDriverName() const
{
  return mComboBox->currentIndex() < 0 ? QString() : mComboBox->currentData().toString();
}
