#pragma once

//! Writes a tiled UInt16 GeoTIFF of \a size x \a size pixels and \a bands bands in Web Mercator; false on failure.
bool writeBenchImage( const char *path, int size, int bands );
