#include "Staywake/App/AppMain.h"

int main(int argc, char** argv) { return staywake::runStaywake(argc, argv); }
