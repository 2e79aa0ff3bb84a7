#pragma once

#include <QDate>
#include <QString>
#include <QVector>

typedef void *GDALRasterBandH;

//! What a raster's file tells of its bands' place in the spectrum and of its date.
struct SpectralMetadata
{
    struct Band
    {
        QString description;
        //! Centre wavelength in nanometres; 0 when the file does not give it.
        double wavelength = 0;
        //! The date the description gives, for a stack of dates; invalid otherwise.
        QDate date;
    };

    QVector<Band> bands;
    QDate date;

    //! Reads the raster GDAL opens from \a source; empty when GDAL cannot open it.
    static SpectralMetadata read( const QString &source );

    /**
     * The centre wavelength of \a band in nanometres from CENTRAL_WAVELENGTH_UM
     * (default or IMAGERY domain), or WAVELENGTH with its units (ENVI writes
     * them in lower case); a unitless value below 100 is taken as micrometres.
     * 0 when the band carries none.
     */
    static double wavelengthNanometres( GDALRasterBandH band );
};
