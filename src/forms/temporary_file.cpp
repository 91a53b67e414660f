#include "temporary_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace forms {

std::string TemporaryNames::next()
{
    static std::atomic<unsigned> counter { 0 };
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char name[64];
    std::snprintf(name, sizeof name, ".zorvane-%ld-%u-%06llx.tmp", long(::getpid()), counter.fetch_add(1),
        static_cast<unsigned long long>(now) & 0xffffffULL);
    return name;
}

}
