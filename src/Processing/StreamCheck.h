#pragma once

#include <QString>

//! Tells files that would never end when read from those that do.
class StreamCheck
{
  public:
    /**
     * Whether \a fileName is, or leads GDAL to, a pipe, socket or device, or a
     * VRT whose sources lead back to it, which never end: reading one would
     * hang the caller (GDAL's shared source pool deadlocks on such a cycle when
     * two map renders read it). GDAL also reads the sidecars beside a file
     * (.aux.xml, .ovr, .hdr) and a VRT's sources.
     */
    static bool isStreamOrDevice( const QString &fileName );
};
