// globaro-gui: the filter dialog as a program (see ui/gui_session.h).

#include "ui/gui_session.h"

int main(int argc, char** argv) { return globaro::runGui(argc, argv); }
