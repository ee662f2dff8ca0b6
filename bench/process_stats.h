#pragma once

// What the benchmarks measure of their own process, from the platform.
namespace vexs::bench {

// CPU time (user + system) of the whole process, in milliseconds.
double processCpuMs();
// CPU time of the calling thread, in milliseconds.
double threadCpuMs();
// Resident memory of the process in kB; -1 when unknown.
long residentKb();

} // namespace vexs::bench
