#pragma once
// Plays the program's sounds from the compiled-in resources.

namespace tw::testing {
// Waits until every sound started so far has finished or given up; false when timeoutMs passed.
bool waitForSounds(int timeoutMs);
// Number of sounds started since the program began (started playback threads).
int soundsStarted();
} // namespace tw::testing

// Starts playing WAV resource id and returns at once. Without a sound server, or when the
// resource is missing or not a PCM WAV, nothing is heard and nothing is reported.
void PlayResourceSound(int id);
