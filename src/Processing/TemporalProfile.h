#pragma once

#include "Processing/PixelValues.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVector>

//! Values at one point over time: across dated images, or along a stack whose bands are dates.
struct TemporalProfile
{
    struct Point
    {
        QDate date;
        double value = 0;
    };

    QString name;
    //! In date order; no-data values are left out.
    QVector<Point> points;

    /**
     * Band \a band of every dated layer of \a layers, one point per layer,
     * when at least two are dated (named "Kênh N"); and one profile per stack
     * whose bands are all dated, band by band (named after the stack).
     */
    static QList<TemporalProfile> of( const QList<PixelValues::Layer> &layers, int band );

    //! The most bands any dated layer of \a layers has: the bands a user may follow over time.
    static int bandCount( const QList<PixelValues::Layer> &layers );
};
