// What the load, fault and leak tests share: the run's seed, and views of the host
// process's own resources (handles, heap, commit, windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The seed of this run: PAPERLENS_STRESS_SEED when set, otherwise taken from the clock.
// Printed once, so that any run can be repeated exactly.
std::uint64_t StressSeed();


// Bytes of every heap of the process that are handed out and not yet freed.
std::size_t HeapBytesInUse();

// The process's commit charge (PrivateUsage, which Wine answers 0, or PagefileUsage,
// which Windows defines as the same figure and Wine fills in).
std::size_t PrivateBytes();

// Top-level windows owned by this process that are visible.
int VisibleWindowsOfThisProcess();

std::string Quoted(const std::string& text);

// The encoding option the converter receives for a target name, as the host would
// expect it: the tag is the two characters six before the end.
std::string OptionForTarget(const std::string& target);
