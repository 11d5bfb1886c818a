// What trox does when it is told to stop (Ctrl-C, kill): the file it was receiving goes, so that
// no truncated file is left under a temporary name, and the program ends as the signal demands.
#pragma once

// Installs handlers for SIGINT, SIGTERM and SIGHUP, except for those the program was started
// with ignored (a background job, nohup).
void InstallSignalHandlers();
