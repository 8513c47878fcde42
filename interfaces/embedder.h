// The C interface of the Flutter desktop embedder, "flutter_windows.dll", as
// the client calls it.
//
// The client, the channel layer and the stand-in embedder all include this one
// header. Every type behind the handles is ours: the client never looks inside
// a handle, and the records below are plain C with the layout given here.
//
// Linkage: in a Windows build the functions are imported from the two DLLs
// (dllimport), except inside the stand-in that implements them, which defines
// VELK_EMBEDDER_IMPLEMENTATION and exports them. Elsewhere they are plain C
// declarations, which the native build links against the stand-in's portable
// engine and messenger.
//
// Threads: every function runs on the platform thread, except the messenger
// functions Lock, Unlock, IsAvailable, SendResponse, AddRef and Release, which
// may be called from any thread.

#ifndef INTERFACES_EMBEDDER_H_
#define INTERFACES_EMBEDDER_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(VELK_EMBEDDER_IMPLEMENTATION)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT
#endif

#if defined(__cplusplus)
extern "C" {
#endif

// Window-system handles spelled as <windows.h> declares them (struct HWND__*
// is HWND there), so Windows code passes its own handles without casts and
// portable code needs no Windows header. The integer types match WPARAM,
// LPARAM and LRESULT on 64-bit Windows.
struct HWND__;
struct HMONITOR__;
typedef struct HWND__* FlutterDesktopWindowHandle;
typedef struct HMONITOR__* FlutterDesktopMonitorHandle;
typedef uintptr_t FlutterDesktopWParam;
typedef intptr_t FlutterDesktopLParam;
typedef intptr_t FlutterDesktopLResult;

// Opaque handles; only the embedder knows what is behind them.
typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopMessageResponseHandle
    FlutterDesktopMessageResponseHandle;

// What the engine is to load. The strings are read during
// FlutterDesktopEngineCreate only; the caller may free them afterwards.
typedef struct {
  const wchar_t* assets_path;       // folder of the application's assets
  const wchar_t* icu_data_path;     // the ICU data file
  const wchar_t* aot_library_path;  // the compiled application
  const char* dart_entrypoint;      // UTF-8; NULL or "" for the default
  int dart_entrypoint_argc;
  const char** dart_entrypoint_argv;  // argc UTF-8 strings; NULL when argc is 0
  int32_t gpu_preference;             // 0: no preference
  int32_t ui_thread_policy;           // 0: the default
} FlutterDesktopEngineProperties;

// One incoming message, valid only during the callback that receives it.
// The response handle is answered at most once with
// FlutterDesktopMessengerSendResponse; the embedder frees it.
typedef struct {
  size_t struct_size;  // sizeof(FlutterDesktopMessage)
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

// Receives the messages of one channel, on the platform thread.
typedef void (*FlutterDesktopMessageCallback)(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
    void* user_data);

// Receives the reply to a message sent with
// FlutterDesktopMessengerSendWithReply.
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size,
                                          void* user_data);

typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

// Engine. Returns NULL when the properties cannot start an engine.
FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties);
// Destroys an engine that was not handed to a view controller.
FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
// One registrar per plug-in name (UTF-8), owned by the engine.
FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine,
                                       const char* plugin_name);
// The callback runs once, on the platform thread, after the next frame.
FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback,
    void* user_data);
FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(
    FlutterDesktopEngineRef engine);

// View controller. Takes ownership of the engine, also when it fails, in
// which case the engine is destroyed and NULL returned.
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height,
                                   FlutterDesktopEngineRef engine);
// Destroys the controller, its view and its engine.
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
// Offers a message of the top-level window to the view; true when handled,
// with the window procedure's result in *result.
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller,
    FlutterDesktopWindowHandle window, unsigned int message,
    FlutterDesktopWParam wparam, FlutterDesktopLParam lparam,
    FlutterDesktopLResult* result);
// The child window that shows the user interface.
FLUTTER_EXPORT FlutterDesktopWindowHandle
FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Desktop helpers.
FLUTTER_EXPORT unsigned int FlutterDesktopGetDpiForMonitor(
    FlutterDesktopMonitorHandle monitor);
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

// Messenger. Sends return whether the message was accepted; a refused send
// never calls its reply, and the caller frees the reply's user data.
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(
    FlutterDesktopMessengerRef messenger, const char* channel,
    const uint8_t* message, size_t message_size);
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel,
    const uint8_t* message, size_t message_size,
    FlutterDesktopBinaryReply reply, void* user_data);
// A NULL callback removes the channel's callback.
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(
    FlutterDesktopMessengerRef messenger, const char* channel,
    FlutterDesktopMessageCallback callback, void* user_data);
// Answers one incoming message. Call it under the messenger lock, and only
// while the messenger is available.
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
    size_t data_length);
// A referenced messenger stays valid (though perhaps unavailable) after its
// engine is gone. AddRef returns its argument.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(
    FlutterDesktopMessengerRef messenger);
// Lock returns its argument. Available means that the engine still runs and
// a response may be sent; it only stays true while the lock is held.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(
    FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(
    FlutterDesktopMessengerRef messenger);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // INTERFACES_EMBEDDER_H_
