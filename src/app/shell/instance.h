// The instance number of a running program: a marker file "Kelvo5_ID_<n>.sid"
// in the program directory reserves number n for as long as the program runs.
//
// A marker is claimed atomically: it is created with exclusive creation, and
// the claiming process holds an advisory lock on it for its lifetime. A marker
// that exists but is not locked belongs to a process that is gone (it crashed
// or was killed) and may be reused.
#pragma once

#include <string>

class InstanceMarker {
public:
    InstanceMarker() = default;
    ~InstanceMarker();
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;

    // Claims the first free number 1..maxId in `dir`. False when none is free
    // (or the directory cannot hold markers); the marker is then unclaimed.
    bool Claim(const std::string& dir, int maxId = 65536);

    // Deletes the own marker (when it exists) and drops the lock.
    void Release();

    bool Claimed() const { return fd_ >= 0; }
    int Id() const { return id_; }

    // Name of the marker of number n in dir, and of the temporary sequence.
    static std::string MarkerName(const std::string& dir, int n);
    static std::string TempPsqName(const std::string& dir, int n);

private:
    int fd_ = -1;
    int id_ = 0;
    std::string sidFile_;
};
