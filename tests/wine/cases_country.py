"""The country settings reset on Wine (files and cases in cases/country/)."""

import cases.country.country_cases  # noqa: F401  (registers the cases)
