#pragma once

namespace helmkit {

// Prepares this process for work on many files; the front program calls it first thing.
// Fixes the local time zone: when TZ is unset, sets it to the system's zone file, which the C
// library then reads once instead of checking it again for every date it converts (the zip
// reader converts one per workbook entry). Keeps memory freed after one file for the next
// instead of returning it to the system and asking again. Throws nothing.
void setup_process();

// The environment a started program gets: this process's, without the TZ that
// setup_process() added, so that it finds the time zone as it would have on its own.
char** child_environment();

}  // namespace helmkit
