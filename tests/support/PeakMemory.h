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
        m_restarted = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
        clearRefs.close();
        m_startKiB = statusKiB("VmRSS:");
    }

    // -1 when the mark could not be restarted.
    long growthKiB() const { return m_restarted ? statusKiB("VmHWM:") - m_startKiB : -1; }

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
    bool m_restarted = false;
    long m_startKiB = 0;
};
