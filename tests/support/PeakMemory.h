#pragma once

#include <QFile>

#include <fstream>
#include <string>

// How far resident memory climbs from now on: the kernel's high-water mark is restarted here.
class PeakMemory
{
public:
    PeakMemory()
    {
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        if (clearRefs.open(QIODevice::WriteOnly))
            clearRefs.write("5");
        clearRefs.close();
        m_startKiB = statusKiB("VmRSS:");
    }

    // When the mark could not be restarted this counts from the process's own peak, which can
    // only make the growth look larger, never hide it.
    long growthKiB() const { return statusKiB("VmHWM:") - m_startKiB; }

    static long statusKiB(const std::string &field)
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field, 0) == 0)
                return std::stol(line.substr(field.size()));
        }
        return -1;
    }

private:
    long m_startKiB = 0;
};
