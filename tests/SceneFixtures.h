#pragma once

// Synthetic satellite products with the real layouts and key names, for tests and benchmarks.
#include <QString>
#include <QStringList>

namespace TestSupport
{

struct LandsatLayout
{
    int mission = 8;
    int width = 12;
    int height = 6;
    bool levelTwo = true;
    bool xml = false;
    //! Band file endings left out ("SR_B4") though the MTL lists them.
    QStringList missing;
};

//! Writes a Landsat Collection 2 product into \a folder; returns the MTL path. Band file n holds 7000 + 100 n +
//! (x + y) % 50, 0 (fill) at the top left; QA_PIXEL holds 1 << x for x < 8, 0 at x = 8, cloud and clear from x = 9.
QString writeLandsat( const QString &folder, const LandsatLayout &layout = LandsatLayout() );

struct Sentinel2Layout
{
    QString baseline = QStringLiteral( "05.09" );
    //! Size of the 10 m bands (even: the 20 m bands are half).
    int width = 8;
    int height = 6;
    //! "jp2" as delivered, or "tif" (much faster to write at full size).
    QString format = QStringLiteral( "jp2" );
};

//! Writes a Sentinel-2 L2A .SAFE folder at \a safeFolder; returns its MTD_MSIL2A.xml. Band n holds what Landsat's
//! does, n counting B02, B03, B04, B05, B06, B07, B08, B8A, B11, B12; SCL holds x % 12.
QString writeSentinel2( const QString &safeFolder, const Sentinel2Layout &layout = Sentinel2Layout() );

//! Packs \a folder (its files for a .tar, the folder itself for a .zip) into \a archive with the system's tools.
bool pack( const QString &folder, const QString &archive );

} // namespace TestSupport
