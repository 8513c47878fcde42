// Hooks of the stand-in embedder that only tests and the stand-in's own
// demonstration parts use: they play the user interface's side of the
// messenger. The client never calls them.

#ifndef STAND_INS_EMBEDDER_EMBEDDER_TESTING_H_
#define STAND_INS_EMBEDDER_EMBEDDER_TESTING_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "interfaces/embedder.h"

#if defined(__cplusplus)
extern "C" {
#endif

// Receives the answer to a delivered message: the bytes that the native side
// passed to FlutterDesktopMessengerSendResponse, on whichever thread sent it.
typedef void (*VelkEmbedderResponseCallback)(const uint8_t* data, size_t size,
                                             void* user_data);

// Sees every message that the native side sends to the interface.
typedef void (*VelkEmbedderOutgoingCallback)(const char* channel,
                                             const uint8_t* data, size_t size,
                                             bool expects_reply,
                                             void* user_data);

// Delivers a message on a channel as if the interface had sent it, on the
// calling thread (the platform thread). on_response (may be NULL) gets the
// one answer. Without a callback for the channel the embedder answers at once
// with an empty response and this returns false.
FLUTTER_EXPORT bool VelkEmbedderDeliverMessage(
    FlutterDesktopEngineRef engine, const char* channel, const uint8_t* data,
    size_t size, VelkEmbedderResponseCallback on_response, void* user_data);

// Replaces the observer of outgoing messages (NULL removes it).
FLUTTER_EXPORT void VelkEmbedderSetOutgoingObserver(
    FlutterDesktopEngineRef engine, VelkEmbedderOutgoingCallback observer,
    void* user_data);

// While set, every send is refused as by an engine that cannot take it.
FLUTTER_EXPORT void VelkEmbedderSetRefuseSends(FlutterDesktopEngineRef engine,
                                               bool refuse);

// Runs the platform-thread work that the engine has queued (replies to sent
// messages, the first frame of a new view) and returns how many items ran.
FLUTTER_EXPORT size_t
VelkEmbedderRunPendingTasks(FlutterDesktopEngineRef engine);

// Draws one frame, which runs a pending next-frame callback.
FLUTTER_EXPORT void VelkEmbedderDrawFrame(FlutterDesktopEngineRef engine);

// The engine that a view controller owns.
FLUTTER_EXPORT FlutterDesktopEngineRef
VelkEmbedderGetControllerEngine(FlutterDesktopViewControllerRef controller);

// The engine created last in this process while it lives, NULL once it is
// destroyed: how a test reaches the engine of a window it opened.
FLUTTER_EXPORT FlutterDesktopEngineRef VelkEmbedderNewestEngine(void);

// Counters of the embedder's bookkeeping.
typedef struct {
  size_t open_responses;      // delivered messages not yet answered
  size_t rejected_responses;  // answers to unknown or answered handles
  size_t fonts_reloaded;
  size_t frames_drawn;
  int messenger_references;  // references held on the engine's messenger
} VelkEmbedderCounters;
FLUTTER_EXPORT VelkEmbedderCounters
VelkEmbedderGetCounters(FlutterDesktopEngineRef engine);

// The entry-point argument at `index` that the engine was started with, or
// NULL past the last one.
FLUTTER_EXPORT const char* VelkEmbedderGetEntrypointArgument(
    FlutterDesktopEngineRef engine, int index);

// Responses to unknown or already answered handles, including any sent
// after the messenger's engine ended, in this process.
FLUTTER_EXPORT int VelkEmbedderRejectedResponsesTotal(void);

// Engines created and not yet destroyed, in this process.
FLUTTER_EXPORT int VelkEmbedderLiveEngines(void);

// Calls of the engine functions with a null engine handle, in this process.
// A real embedder would dereference it.
FLUTTER_EXPORT int VelkEmbedderNullEngineCalls(void);

// Makes the next FlutterDesktopViewControllerCreate fail.
FLUTTER_EXPORT void VelkEmbedderFailNextViewController(void);

// Makes FlutterDesktopGetDpiForMonitor answer `dpi` for every monitor, so
// tests see a scaled monitor on the test display (always 96 DPI); 0 gives
// back the system's answer.
FLUTTER_EXPORT void VelkEmbedderSetMonitorDpi(unsigned int dpi);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // STAND_INS_EMBEDDER_EMBEDDER_TESTING_H_
