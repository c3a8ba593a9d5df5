import cases.msi.cases_msi
