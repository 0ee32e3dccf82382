# Shorthands for scripts/dev, which needs nothing but a shell.
.PHONY: run report test format
run:
	scripts/dev run
report:
	scripts/dev report $(ARGS)
test:
	scripts/dev test
format:
	scripts/dev format
