#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

//! One band file of a satellite product and how its numbers become physical values.
struct SceneBand
{
    //! GDAL path of the band file (inside /vsitar/ or /vsizip/ where the product is an archive).
    QString file;
    //! "Blue", "Red", "NIR"…, or the product's own band name.
    QString description;
    //! Centre wavelength in micrometres; 0 when not known.
    double wavelength = 0;
    //! value = DN * scale + offset
    double scale = 1;
    double offset = 0;
};

//! One class of a quality mask layer.
struct SceneMaskClass
{
    int value = 0;
    QString name;
    QColor color;
};

//! What a satellite product holds, as read from its metadata file, and the layers made of it.
struct Scene
{
    enum class Mask
    {
      None,
      //! Landsat QA_PIXEL bits, decoded into one class per pixel.
      LandsatQa,
      //! Sentinel-2 scene classification, classes 0 to 11.
      SentinelScl,
    };

    //! GDAL path of the metadata file (MTL or MTD_MSIL2A.xml).
    QString metadataFile;
    //! Short name of the product, used for its layers ("LC08_125052_20230101").
    QString id;
    //! Sensor, path/row or tile, acquisition date: the name of the product's layer group.
    QString title;
    QString sensor;
    QString processingLevel;
    QString baseline;
    QDateTime acquired;
    //! Per cent; negative when the product does not say.
    double cloudCover = -1;

    //! Surface reflectance bands in wavelength order.
    QVector<SceneBand> reflectance;
    //! Surface temperature in kelvin.
    QVector<SceneBand> thermal;
    SceneBand mask;
    Mask maskKind = Mask::None;

    //! What the product lacks, in words a user reads; what remains still opens.
    QStringList problems;

    //! Layers written for the product (VRT paths); empty where the product has nothing of that kind.
    QString reflectanceLayer;
    QString thermalLayer;
    QString maskLayer;
};
