#pragma once

#include <QString>

//! Tells files that would never end when read from those that do.
class StreamCheck
{
  public:
    /**
     * Whether \a fileName is, or leads GDAL to, a pipe, socket or device, which
     * never ends: reading one would hang the caller. GDAL also reads the
     * sidecars beside a file (.aux.xml, .ovr, .hdr) and a VRT's sources.
     */
    static bool isStreamOrDevice( const QString &fileName );
};
