#include "app/app_state.h"

#include "page/page_host.h"

AppState& App() {
  static AppState state;
  return state;
}

PageHost& Host() {
  static PageHost host;
  return host;
}
