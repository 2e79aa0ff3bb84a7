#pragma once

/**
 * Writes a tiled UInt16 GeoTIFF of \a size x \a size pixels and \a bands
 * bands in Web Mercator; false on failure. A \a noise above 0 adds a
 * repeatable 0 to noise - 1 to every pixel, as texture and sensor noise do:
 * with 128, DEFLATE shrinks the image to about two thirds, as it does real
 * scenes, where the smooth pattern alone shrinks a hundredfold.
 */
bool writeBenchImage( const char *path, int size, int bands, int noise = 0 );
