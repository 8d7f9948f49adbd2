/* Runs script files, in order, in one Duktape heap: the engine our headless
 * page host embeds. Each file is compiled and run; the first error is printed
 * as "file: error" and ends the run with exit code 1. Scripts print with
 * print(text). */
#include <stdio.h>
#include <stdlib.h>

#include "duktape.h"

static duk_ret_t print_line(duk_context* ctx) {
  printf("%s\n", duk_safe_to_string(ctx, 0));
  return 0;
}

static int read_file(const char* path, char** out, size_t* length) {
  FILE* file = fopen(path, "rb");
  if (!file) return 0;
  fseek(file, 0, SEEK_END);
  *length = (size_t)ftell(file);
  fseek(file, 0, SEEK_SET);
  *out = malloc(*length + 1);
  int ok = *out && fread(*out, 1, *length, file) == *length;
  fclose(file);
  return ok;
}

static int run_file(duk_context* ctx, const char* path) {
  char* source = NULL;
  size_t length = 0;
  if (!read_file(path, &source, &length)) {
    printf("%s: cannot read\n", path);
    free(source);
    return 0;
  }
  duk_push_lstring(ctx, source, length);
  free(source);
  duk_push_string(ctx, path);
  if (duk_pcompile(ctx, 0) != 0 || duk_pcall(ctx, 0) != 0) {
    printf("%s: %s\n", path, duk_safe_to_stacktrace(ctx, -1));
    return 0;
  }
  duk_pop(ctx);
  return 1;
}

int main(int argc, char** argv) {
  duk_context* ctx = duk_create_heap_default();
  if (!ctx) return 2;
  duk_push_c_function(ctx, print_line, 1);
  duk_put_global_string(ctx, "print");
  for (int i = 1; i < argc; i++) {
    if (!run_file(ctx, argv[i])) {
      fflush(stdout);
      return 1;
    }
  }
  duk_destroy_heap(ctx);
  return 0;
}
