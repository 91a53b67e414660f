#pragma once

#include <cstdint>
#include <string>

namespace forms {

// Names of the temporary files that a save writes beside its target. Each
// name tells which process made it, so that a later save can take away the
// temporaries of saves that were killed before they could clean up.
class TemporaryNames {
public:
    // Learns who this process is; made afresh for each save, as a fork
    // changes the answer.
    TemporaryNames();

    // A name not used before by this process, without a folder.
    std::string next();

    // Removes from `folder` the temporaries of processes of this machine,
    // boot and pid namespace that no longer exist, when they are regular
    // files of the effective user. Nothing else is touched and nothing fails:
    // what can't be read or removed stays.
    //
    // A temporary whose pid has since been taken by a running process stays
    // until that one ends too. Temporaries from other machines sharing the
    // folder, from before a reboot, or from another pid namespace are never
    // removed, and neither is anything when this process can't tell who it is.
    void remove_stale(std::string const& folder) const;

private:
    long m_pid { 0 };
    unsigned long long m_started { 0 };
    std::uint64_t m_system { 0 }; // 0 when unknown
};

}
