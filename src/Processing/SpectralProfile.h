#pragma once

#include "Processing/PixelValues.h"
#include "Processing/ProcessingResult.h"

#include <QList>
#include <QString>
#include <QVector>

#include <qgspointxy.h>

//! The band values of one multi-band raster at one point: a curve over the spectrum.
struct SpectralProfile
{
    struct Point
    {
        int band = 0;
        //! Nanometres; 0 when the band does not carry it.
        double wavelength = 0;
        //! NaN where the band has no data.
        double value = 0;
    };

    //! The layer and the map coordinates: "scene (500015, 9000285)".
    QString name;
    QVector<Point> points;

    //! Whether every band carries a wavelength, so the curve can be drawn against it.
    bool hasWavelengths() const;

    /**
     * One profile for each layer of \a layers with more than one band, read at
     * \a point (map coordinates, named with \a decimals).
     */
    static QList<SpectralProfile> of( const QList<PixelValues::Layer> &layers, const QgsPointXY &point,
                                      int decimals );

    /**
     * \a profiles as CSV: a header, then one row per band number any of them
     * has: the band, its wavelength (the first profile's that gives one), and
     * each profile's value, empty where it has none.
     */
    static QString csv( const QList<SpectralProfile> &profiles );

    //! Writes csv() to \a fileName; an earlier file stays as it was unless the whole text is written.
    static ProcessingResult writeCsv( const QList<SpectralProfile> &profiles, const QString &fileName );
};
