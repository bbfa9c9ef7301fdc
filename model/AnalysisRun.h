#pragma once

#include "AppSettings.h"
#include "ReverseGeocoder.h"
#include "VisionService.h"

#include <QList>
#include <QUuid>

class AppModel;

// One pass of analysis over the items listed when it started, in list order: frames, montage, the
// model's answer, the place, the proposed name. Items are prepared one at a time while up to
// `concurrency` questions are in flight. What it works with is fixed on the
// main thread at the start; the naming and place settings are read live, so a change made during
// the run applies to the items still to come.
struct AnalysisRun
{
    QList<QUuid> ids;
    VisionEndpoint vision;
    int concurrency = 1; // questions in flight at once
    int frameCount = 4;
    ReverseGeocoder geocoder;
    // Stops the run: the questions in flight end and no further item starts.
    CancelFlag cancel;
    // Where the items' frames and montages are written; nothing is kept when empty.
    QString picturesFolder;

    // Blocks until every item has been through; run it on a worker thread. Reaches the items and
    // the status line only through the model's main-thread hops.
    void operator()(AppModel &model) const;

private:
    class Pass;
};
