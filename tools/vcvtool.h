// vcvtool's subcommands. Each takes the arguments after its name and returns the exit status
// (0 success); each prints its own messages, failures to standard error as "vcvtool: <command>: ...".
#pragma once

// One entry of the subcommand table in vcvtool.cpp.
struct ToolCommand {
    const char* name;
    const char* usage;  // arguments, for the help text
    const char* about;  // one line
    int (*run)(int argc, char** argv);
};

// jpeg2ppm IN OUT: decodes IN with the engine's JPEG decoder and writes a binary PPM.
int toolJpegToPpm(int argc, char** argv);
// build-set [--jpeg-only] DIR OUT.stf: builds a scrambled interface set file; exit 1 for a
// numbering gap, 2 when a file cannot be read or written.
int toolBuildSet(int argc, char** argv);
// pack-info [--pack | --set] FILE.stf: lists a texture pack or an interface set file.
int toolPackInfo(int argc, char** argv);
// import-info FILE.dae: imports the document (images into a temporary folder) and prints its
// messages, node tree, objects with their meshes, and totals; exit 1 when it gives no model.
int toolImportInfo(int argc, char** argv);
// convert-image IN OUT.jpg: converts an image (PNG, JPEG, BMP, TGA within the size cap) to a JPEG
// with the image library, limited in CPU time and memory; the importer's child process. Exit 0,
// 1 not an image it converts, 2 usage, 64 + the system's error number when OUT cannot be written.
int toolConvertImage(int argc, char** argv);
// nserver [PORT]: stores PORT in nsconfig.stf when given, runs the network server, printing its
// messages, until SIGINT or SIGTERM. Exit 0 after a stop, 1 when the server cannot start, 2 usage.
int toolNetServer(int argc, char** argv);
