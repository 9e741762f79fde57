demo geo/rock.0001.bgeo.sc
