#include "tools/scene_generator/gui_application.h"

#include <QGuiApplication>

#include <memory>

namespace reelkit::scene {

void EnsureGuiApplication() {
  if (QGuiApplication::instance() != nullptr) {
    return;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static int argc = 1;
  static char name[] = "reelkit-scene";
  static char* argv[] = {name, nullptr};
  static const std::unique_ptr<QGuiApplication> application =
      std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace reelkit::scene
