#include "Widgets/CompressionComboBox.h"

CompressionComboBox::CompressionComboBox( QWidget *parent )
    : QComboBox( parent )
{
  using Compression = CreationOptions::Compression;
  addItem( QStringLiteral( "Không nén" ), static_cast<int>( Compression::None ) );
  for ( Compression compression : { Compression::Deflate, Compression::Lzw, Compression::Zstd } )
    addItem( CreationOptions::name( compression ), static_cast<int>( compression ) );
  setCurrentIndex( 1 );
}

CreationOptions::Compression CompressionComboBox::compression() const
{
  return static_cast<CreationOptions::Compression>( currentData().toInt() );
}
