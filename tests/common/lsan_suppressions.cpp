// The driver manager and the ODBC drivers keep some allocations until the process ends; they
// are not this program's leaks; neither are the screens of Qt's offscreen platform, which
// it never frees.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libodbc.so\n"
           "leak:libodbcinst.so\n"
           "leak:psqlodbcw.so\n"
           "leak:libsqlite3odbc\n"
           "leak:libpq.so\n"
           "leak:libqoffscreen.so\n";
}
