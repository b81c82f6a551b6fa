/* norvainst under Wine: the service it registers, checked through the
 * service manager's own API. */
#include "norva.h"

static const char *pkg;

static long norvainst(const char *args) { return e2e_run(pkg, "norvainst.exe", args, 30000); }

/* The quoted program name with `rest` right after its closing quote. */
static long norvainst_joined(const char *rest) {
  char line[1024];
  _snprintf(line, sizeof(line), "\"%s\\norvainst.exe\"%s", pkg, rest);
  line[sizeof(line) - 1] = 0;
  return e2e_run_line(line, 30000);
}

static void rename_service(const char *displayName) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE svc = OpenServiceA(scm, "NORVA", SERVICE_ALL_ACCESS);
  CHECK(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, NULL, NULL, NULL, NULL,
                             NULL, NULL, displayName));
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

int main(int argc, char **argv) {
  const char *noop[] = {"I", "U", "", "x"};
  int i;
  long code;
  pkg = argc > 1 ? argv[1] : "C:\\pkg";

  CHECK_EQ_UL(norva_state(), 0);
  CHECK_EQ_UL(norvainst("u"), 0); /* nothing to remove */
  CHECK_EQ_UL(norva_state(), 0);

  CHECK_EQ_UL(norvainst("i"), 0);
  CHECK_EQ_UL(norva_state(), 1);
  check_norva("NORVA");

  /* A second install leaves the registration as it stands. */
  rename_service("Changed");
  CHECK_EQ_UL(norvainst("i"), 0);
  check_norva("Changed");

  for (i = 0; i < 4; ++i) {
    printf("command line \"%s\"\n", noop[i]);
    CHECK_EQ_UL(norvainst(noop[i]), 0);
    CHECK_EQ_UL(norva_state(), 1);
  }
  check_norva("Changed");

  CHECK_EQ_UL(norvainst("u"), 0);
  CHECK(norva_gone());

  /* Only the first character counts: "install" installs once the old
   * registration's name is free again. */
  code = norvainst("install");
  CHECK_EQ_UL(code, 0);
  CHECK_EQ_UL(norva_state(), 1);
  check_norva("NORVA");
  CHECK_EQ_UL(norvainst("uninstall"), 0);
  CHECK(norva_gone());

  /* A quoted program name ends at its closing quote: the action may follow
   * it without a blank, or after tabs. */
  CHECK_EQ_UL(norvainst_joined("i"), 0);
  CHECK_EQ_UL(norva_state(), 1);
  check_norva("NORVA");
  CHECK_EQ_UL(norvainst_joined("\t\tu"), 0);
  CHECK(norva_gone());
  return e2e_finish();
}
