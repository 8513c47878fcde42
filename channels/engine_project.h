#ifndef CHANNELS_ENGINE_PROJECT_H_
#define CHANNELS_ENGINE_PROJECT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace flutter {

// What the engine is to load. The paths are passed to the embedder as they
// are; relative ones are resolved by the embedder.
struct EngineProject {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;  // UTF-8; empty for the default entry point
  std::vector<std::string> entrypoint_arguments;  // UTF-8
  int32_t gpu_preference = 0;                     // 0: no preference
  int32_t ui_thread_policy = 0;                   // 0: the default
};

// The project of the application delivered in `data_folder`: its assets,
// ICU data and compiled code, with no entry-point arguments.
inline EngineProject EngineProjectIn(const std::wstring& data_folder) {
  EngineProject project;
  project.assets_path = data_folder + L"\\flutter_assets";
  project.icu_data_path = data_folder + L"\\icudtl.dat";
  project.aot_library_path = data_folder + L"\\app.so";
  return project;
}

}  // namespace flutter

#endif  // CHANNELS_ENGINE_PROJECT_H_
