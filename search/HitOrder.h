#pragma once

#include "SearchHit.h"

#include <QList>

// By video name, then time, keeping the order of finding among equals. Names compare by code point
// in composed form, so a name typed on one system and a file name stored decomposed by another
// are the same name.
void sortHits(QList<SearchHit> &hits);
