#pragma once

#include "Processing/SpectralMetadata.h"

#include <QMap>
#include <QString>
#include <QVector>

//! Spectral indices written as band math over the bands that play each role.
class IndexPreset
{
  public:
    enum class Role
    {
      Blue,
      Green,
      Red,
      Nir,
      Swir1,
      Swir2,
    };

    QString name;
    //! The expression with each role written as {Role}: "( {NIR} - {Red} ) / ( {NIR} + {Red} )".
    QString formula;

    //! NDVI, NDWI, MNDWI, NDBI, SAVI (L = 0.5), EVI and NBR.
    static const QVector<IndexPreset> &all();
    //! The preset called \a name; null when there is none.
    static const IndexPreset *named( const QString &name );

    //! The roles the formula uses, each once, in the order it first uses them.
    QVector<Role> roles() const;

    /**
     * The formula over layer \a layerName, each role replaced by the quoted
     * reference of its band in \a bands ("\"scene@4\""). Every role must have one.
     */
    QString expression( const QString &layerName, const QMap<Role, int> &bands ) const;

    //! How a user calls \a role: "cận hồng ngoại (NIR)".
    static QString roleName( Role role );

    /**
     * The band (1-based) of \a bands that plays \a role: one described as it
     * ("NIR", "Near infrared", "SWIR 1"…), else the one whose wavelength lies
     * in the role's range, nearest its middle. 0 when none does.
     */
    static int bandFor( Role role, const QVector<SpectralMetadata::Band> &bands );
};
