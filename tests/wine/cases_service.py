import cases.service.cases_service
