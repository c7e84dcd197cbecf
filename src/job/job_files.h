// The record file and the flag file. Failures end the agent through
// TerminateAgent, except in FlagFileExists.
#pragma once

// Fills g_jobRecord from the record file.
void LoadJobRecord();
// Writes g_jobRecord to the record file; nothing while the record path is
// absent.
void StoreJobRecord();
// True when at least one directory entry matches `path`; false with the error
// number set otherwise.
bool FlagFileExists(const char* path);
// Deletes the flag file; nothing while the flag path is absent.
void DeleteFlagFile();
