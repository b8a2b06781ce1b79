INSERT INTO contact VALUES(1,'','John Doe');
INSERT INTO data VALUES(1,1,1,'','John Doe','John','Doe','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,12,1,'',replace('1 Main St\nSpringfield , 12345','\n',char(10)),'1','','1 Main St','','','Springfield ','','12345','','','','','',NULL);
