#pragma once

#include "Processing/CreationOptions.h"

#include <QComboBox>

//! The compression of a written raster: none, DEFLATE (the first choice), LZW or ZSTD.
class CompressionComboBox : public QComboBox
{
    Q_OBJECT

  public:
    explicit CompressionComboBox( QWidget *parent = nullptr );

    CreationOptions::Compression compression() const;
};
