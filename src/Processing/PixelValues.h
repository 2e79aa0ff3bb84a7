#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVector>

#include <qgscoordinatereferencesystem.h>
#include <qgscoordinatetransformcontext.h>
#include <qgspointxy.h>

class QgsRasterDataProvider;
class QgsRasterLayer;

//! The values of every band of raster layers at one map point.
class PixelValues
{
  public:
    struct Band
    {
        int number = 0;
        QString description;
        double value = 0;
        bool noData = false;
        bool isInteger = false;
        //! Centre wavelength in nanometres; 0 when the file does not give it.
        double wavelength = 0;
        //! The date the band's description gives, for a stack of dates.
        QDate date;
    };

    struct Layer
    {
        QString id;
        QString name;
        int column = 0;
        int row = 0;
        //! When the image was taken, as its metadata or name tells; invalid when unknown.
        QDate date;
        QVector<Band> bands;
    };

    /**
     * Reads \a layers at \a point, given in \a crs; each layer is read in its own
     * CRS. Values are physical ones where a band has a scale or offset.
     * Layers that do not cover the point, or that the point cannot be
     * transformed into, are left out.
     */
    static QList<Layer> at( const QList<QgsRasterLayer *> &layers, const QgsPointXY &point,
                            const QgsCoordinateReferenceSystem &crs, const QgsCoordinateTransformContext &context );

    //! The description the file gives band \a band ("NIR"), or an empty string.
    static QString bandDescription( const QgsRasterDataProvider *provider, int band );

    //! How a band is named to a user: "Kênh 4: NIR", or "Kênh 4" without a description.
    static QString bandLabel( int number, const QString &description );

    //! A band's value as it is shown: integers as integers, no-data as such.
    static QString text( const Band &band );
};
