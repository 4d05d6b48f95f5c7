#include "app/app_state.h"

AppState& App() {
  static AppState* state = new AppState();
  return *state;
}
