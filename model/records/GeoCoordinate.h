#pragma once

// A GPS position in degrees, north and east positive.
struct GeoCoordinate
{
    double latitude = 0;
    double longitude = 0;

    friend bool operator==(const GeoCoordinate &, const GeoCoordinate &) = default;
};
