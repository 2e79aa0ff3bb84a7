#pragma once

#include "Processing/SpectralProfile.h"
#include "Processing/TemporalProfile.h"

#include <QList>

namespace QtCharts
{
class QChart;
}

//! Draws profiles into a chart, replacing what it showed.
class ProfileChart
{
  public:
    /**
     * \a pinned in their own colours, then \a current dashed, against
     * wavelength when every one of them carries it, else against band number.
     */
    static void showSpectral( QtCharts::QChart *chart, const QList<SpectralProfile> &pinned,
                              const QList<SpectralProfile> &current );

    //! \a profiles against their dates; \a emptyText as the title when there is none.
    static void showTemporal( QtCharts::QChart *chart, const QList<TemporalProfile> &profiles,
                              const QString &emptyText );

    //! How many profiles can be pinned, each in a colour of its own.
    static constexpr int colourCount = 10;
};
