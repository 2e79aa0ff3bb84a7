#pragma once

#include <QList>
#include <QWidget>

#include <qgsrasterfilewriter.h>
#include <qgsvectorfilewriter.h>

class QComboBox;

//! The formats the QGIS raster (layer type 0) or vector (1) writers can create.
class WriterFormatComboBox : public QWidget
{
    Q_OBJECT

  public:
    explicit WriterFormatComboBox( QWidget *parent = nullptr );

    //! 0 lists raster formats, 1 vector formats, from the next refresh() on.
    void setLayerType( int type );
    //! Lists the formats of the layer type again, choosing the first.
    void refresh();
    //! The lower-case extension of the chosen format, without the dot; empty when none is chosen.
    QString currentExtension() const;
    //! The driver of the chosen format; empty when none is chosen.
    QString currentDriverName() const;

  private:
    QComboBox *mComboBox = nullptr;
    QList<QgsRasterFileWriter::FilterFormatDetails> mRasterFormats;
    QList<QgsVectorFileWriter::FilterFormatDetails> mVectorFormats;
    int mLayerType = 0;
};
