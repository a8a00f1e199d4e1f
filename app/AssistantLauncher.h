#pragma once

// Starts the installed assistant from the program directory and returns at
// once; reports nothing, whatever happens.
void LaunchAssistant();
