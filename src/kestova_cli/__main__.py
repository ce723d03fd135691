from kestova_cli.main import main

raise SystemExit(main())
