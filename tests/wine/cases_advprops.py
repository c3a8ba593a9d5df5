"""Advanced property texts from the OEM INF; the cases live with their inputs in
cases/advprops/."""

import cases.advprops.cases_advprops  # noqa: F401 (importing registers its cases)
