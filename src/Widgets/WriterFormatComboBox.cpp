#include "Widgets/WriterFormatComboBox.h"

#include <QComboBox>
#include <QHBoxLayout>

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
  return firstGlob.mid( 2 ).toLower();
}

QString WriterFormatComboBox::currentDriverName() const
{
  return mComboBox->currentIndex() < 0 ? QString() : mComboBox->currentData().toString();
}
