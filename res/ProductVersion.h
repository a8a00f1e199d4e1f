#pragma once

// The program's version, in its version block and in the first line of each run's log.
#define RAZI_VERSION 1,4,14,815
#define RAZI_VERSION_TEXT "1, 4, 14, 815"
