// A shared library without the panel entry point, for the loader's error path.
extern "C" __attribute__((visibility("default"))) int not_a_panel() {
    return 0;
}
