#ifndef CLIENT_DELAY_LOADED_LIBRARIES_H_
#define CLIENT_DELAY_LOADED_LIBRARIES_H_

// The libraries that velk_vpn.exe delay-loads, so that its setup mode never
// loads them. The interactive client loads them all at once, at start.
namespace velk {

// Loads the system libraries from the system folder and the embedder and the
// link plug-in from the program's folder. False when one is missing.
bool LoadDelayedLibraries();

}  // namespace velk

#endif  // CLIENT_DELAY_LOADED_LIBRARIES_H_
